// A stand-in simulator to run beside refscope-cli by hand or in the benchmarks: the web API and the
// UDP messages of a running X-Plane on 127.0.0.1, serving the datarefs and commands of list files
// (plus a few that an aircraft's plugin makes) or generated ones. Prints the web API's port and on a
// second line the UDP port, then serves until it is ended. --announce PORT sends its beacon to
// 127.0.0.1:PORT ten times a second.
#include "SimStandIn.h"

#include "data/ReferenceList.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace {

QJsonValue valueOf(const QString &type, int length, int seed)
{
    if (type == QLatin1String("data"))
        return QString::fromLatin1(QByteArray("Cessna_172SP.acf").leftJustified(length, '\0', true).toBase64());
    if (type.endsWith(QLatin1String("_array"))) {
        QJsonArray array;
        for (int i = 0; i < length; ++i)
            array.append(type == QLatin1String("int_array") ? QJsonValue(i % 3) : QJsonValue(0.25 * i));
        return array;
    }
    return type == QLatin1String("int") ? QJsonValue(seed % 7) : QJsonValue(seed * 0.5);
}

// The API's type of a list file's type, and the length of its arrays.
QString apiType(const QByteArray &type, int &length)
{
    const QRegularExpressionMatch match
        = QRegularExpression(QStringLiteral("^(int|float|double|byte)((\\[\\d*\\])*)$")).match(QString::fromLatin1(type));
    length = 1;
    if (!match.hasMatch())
        return QStringLiteral("float");
    const QString base = match.captured(1);
    if (match.captured(2).isEmpty())
        return base;
    const QRegularExpression dimension(QStringLiteral("\\[(\\d*)\\]"));
    for (auto it = dimension.globalMatch(match.captured(2)); it.hasNext();) {
        const QString digits = it.next().captured(1);
        length *= digits.isEmpty() ? 260 : digits.toInt();
    }
    return base == QLatin1String("byte") ? QStringLiteral("data") : base + QStringLiteral("_array");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments().mid(1);
    SimStandIn sim;
    qint64 id = 1000000000000;
    const auto option = [&](const QString &name) {
        const int at = arguments.indexOf(name);
        return at >= 0 ? arguments.value(at + 1) : QString();
    };
    if (!option(QStringLiteral("--datarefs")).isEmpty()) {
        ReferenceList list;
        list.load(ReferenceList::encodeName(option(QStringLiteral("--datarefs"))));
        for (const Reference &record : list.references) {
            int length = 1;
            const QString type = apiType(record.fields.value(0).toByteArray(), length);
            sim.dataRefs.push_back({id, record.path.toByteArray(), type, valueOf(type, length, int(id % 100)),
                                    record.fields.value(1) == "y" ? 1 : 0});
            id += 16;
        }
        // What the aircraft's own plugin makes: no shipped list holds these.
        sim.dataRefs.push_back({id++, "laminar/c172/electrical/battery_amps", QStringLiteral("float"), 2.5, 0});
        sim.dataRefs.push_back({id++, "laminar/c172/fuel/selector_pos", QStringLiteral("int"), 2, 1});
        sim.dataRefs.push_back({id++, "laminar/c172/knobs/heading_bug_rate", QStringLiteral("float_array"),
                                QJsonArray {1, 2.5, 5}, 1});
    }
    if (!option(QStringLiteral("--commands")).isEmpty()) {
        ReferenceList list;
        list.load(ReferenceList::encodeName(option(QStringLiteral("--commands"))));
        for (const Reference &record : list.references)
            sim.commands.push_back({id++, record.path.toByteArray(), decodeText(record.fields.text())});
        sim.commands.push_back({id++, "laminar/c172/shutters/toggle", QStringLiteral("Open or close the window shutters.")});
    }
    // --generate DATAREFS ARRAYS COMMANDS
    const int generate = arguments.indexOf(QStringLiteral("--generate"));
    if (generate >= 0) {
        const int count = arguments.value(generate + 1).toInt();
        const int arrays = arguments.value(generate + 2).toInt();
        for (int i = 0; i < count; ++i) {
            const bool array = i >= count - arrays;
            const QString type = array ? (i % 2 ? QStringLiteral("float_array") : QStringLiteral("int_array"))
                                       : (i % 3 ? QStringLiteral("float") : QStringLiteral("int"));
            sim.dataRefs.push_back({id, "sim/generated/group_" + QByteArray::number(i / 50) + "/value_" + QByteArray::number(i),
                                    type, valueOf(type, 4 + i % 13, i), i % 2});
            id += 16;
        }
        for (int i = 0; i < arguments.value(generate + 3).toInt(); ++i) {
            sim.commands.push_back({id++, "sim/generated/group_" + QByteArray::number(i / 50) + "/command_" + QByteArray::number(i),
                                    QStringLiteral("Does thing number %1.").arg(i)});
        }
    }
    // --changing N: the first N datarefs change; --changing NAME,NAME...: those do.
    const QString changing = option(QStringLiteral("--changing"));
    bool isCount = false;
    int count = changing.toInt(&isCount);
    if (!changing.isEmpty() && !isCount) {
        const QStringList names = changing.split(QLatin1Char(','));
        std::stable_partition(sim.dataRefs.begin(), sim.dataRefs.end(), [&](const SimStandIn::DataRef &entry) {
            return names.contains(QString::fromUtf8(entry.name));
        });
        count = names.size();
    }
    if (count > 0)
        sim.changeEvery(100, count);
    if (!option(QStringLiteral("--announce")).isEmpty())
        sim.announce(quint16(option(QStringLiteral("--announce")).toUInt()), {{1, "stand-in"}});
    std::printf("%u\n%u\n", unsigned(sim.port()), unsigned(sim.udpPort()));
    std::fflush(stdout);
    return application.exec();
}
