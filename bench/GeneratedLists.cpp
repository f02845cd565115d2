#include "bench/GeneratedLists.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <random>

namespace {

const char *const tops[] = {"sim", "sim", "sim", "sim", "sim", "sim", "sim", "sim", "laminar", "thirdparty"};
const char *const areas[]
    = {"aircraft", "cockpit",   "cockpit2",           "flightmodel", "flightmodel2", "weather", "time",
       "graphics", "operation", "multiplayer",        "network",     "joystick",     "physics", "world",
       "airfoils", "atc",       "flightmodel_engine", "version"};
const char *const groups[]
    = {"autopilot",    "engine",   "electrical", "gear",       "controls",       "radios",
       "annunciators", "switches", "gauges",     "hydraulics", "pressurization", "misc",
       "weapons",      "position", "forces",     "ice",        "lights",         "failures"};
const char *const words[]
    = {"throttle", "ratio", "temp",   "press", "flap", "speed", "alt",  "heading", "fuel",
       "flow",     "oil",   "volt",   "amp",   "bus",  "nav",   "com",  "gps",     "mixture",
       "prop",     "rpm",   "torque", "itt",   "egt",  "cht",   "door", "seat"};
const char *const types[]
    = {"float", "int", "double", "float[8]", "int[16]", "byte[260]", "int[8]", "float[2]"};
const char *const units[] = {"meters", "feet", "ratio", "boolean", "degrees", "???", "kgs", "psi", "enum"};

template<size_t N> const char *pick(const char *const (&names)[N], std::mt19937 &random)
{
    return names[random() % N];
}

QByteArray fieldsFor(std::mt19937 &random)
{
    QByteArray line;
    line += '\t';
    line += pick(types, random);
    line += random() % 3 ? "\ty\t" : "\tn\t";
    line += pick(units, random);
    line += "\tThe ";
    line += pick(words, random);
    line += " of the ";
    line += pick(words, random);
    line += random() % 2 ? " system, as the simulator computes it\t\n" : "\t\n";
    return line;
}

// records lines in no particular order, as the simulator writes them; wideChildren of them, if
// any, are the children of one node.
bool writeList(const QString &fileName, int records, int wideChildren, unsigned seed)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(seed);
    QByteArray chunk = "2 1210 Mon Nov 24 10:10:21 2025\n\n";
    const int step = wideChildren > 0 ? records / wideChildren : 0;
    for (int i = 0; i < records; ++i) {
        QByteArray line;
        if (step > 0 && i % step == 0 && i / step < wideChildren) {
            // Every other child of the wide node is a branch, so rows among 100,000 siblings are
            // looked up whenever a view asks for the parent of what lies below them.
            const int child = i / step;
            line = "sim/wide/ref_" + QByteArray::number(child) + (child % 2 ? "/value" : "");
        } else {
            line = pick(tops, random);
            line += '/';
            line += pick(areas, random);
            line += '/';
            line += pick(groups, random);
            if (random() % 2) {
                line += '/';
                line += pick(words, random);
            }
            line += '/';
            line += pick(words, random);
            line += '_';
            line += pick(words, random);
            line += '_';
            line += QByteArray::number(int(random() % unsigned(records / 20 + 10)));
        }
        line += fieldsFor(random);
        chunk += line;
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size())
                return false;
            chunk.clear();
        }
    }
    return file.write(chunk) == chunk.size();
}

// A datarefs list whose one deep record has segments path segments, beside a few ordinary ones.
bool writeDeepList(const QString &fileName, int segments)
{
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray content = "2 1210 Mon Nov 24 10:10:21 2025\n\n";
    content += "deep/ordinary\tint\ty\tnone\tA shallow neighbour\n";
    content += "deep";
    for (int i = 1; i < segments - 1; ++i)
        content += "/s";
    content += "/leaf\tint\ty\tnone\tThe deepest reference\n";
    content += "sim/ordinary/leaf\tfloat\tn\tmeters\tAnother shallow one\n";
    return file.write(content) == content.size();
}

struct Spec
{
    const char *name;
    int records;
    int wideChildren;
    int deepSegments; // when set, the file is one deep record and a few others
};

const Spec specs[] = {
    {"gen_10k.txt", 10000, 0, 0},       {"gen_100k.txt", 100000, 0, 0}, {"wide_100k.txt", 100000, 100000, 0},
    {"gen_1M.txt", 1000000, 100000, 0}, {"deep_10k.txt", 0, 0, 10000},  {"deep_100k.txt", 0, 0, 100000},
};

} // namespace

namespace GeneratedLists {

QStringList fileNames()
{
    QStringList names;
    for (const Spec &spec : specs) {
        if (spec.deepSegments == 0)
            names << QString::fromLatin1(spec.name);
    }
    return names;
}

QStringList deepFileNames()
{
    QStringList names;
    for (const Spec &spec : specs) {
        if (spec.deepSegments > 0)
            names << QString::fromLatin1(spec.name);
    }
    return names;
}

bool writeAll(const QString &dir)
{
    unsigned seed = 1;
    for (const Spec &spec : specs) {
        const QString fileName = QDir(dir).filePath(QString::fromLatin1(spec.name));
        const bool written = spec.deepSegments > 0
            ? writeDeepList(fileName, spec.deepSegments)
            : writeList(fileName, spec.records, spec.wideChildren, seed++);
        if (!written)
            return false;
    }
    return true;
}

} // namespace GeneratedLists
