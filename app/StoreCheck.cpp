#include "app/StoreCheck.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QSaveFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryFile>
#include <QVector>

#include <algorithm>

namespace {

// A line as the toolkit's INI reader cuts the file: a quoted part or a backslash carries a line
// break, and an unquoted ";" starts a comment. Only the dropping of lines relies on this cut; the
// final check below does not.
struct IniLine
{
    int start = 0;
    int end = 0;
    int equals = -1; // the first unquoted "=", -1 when there is none
};

bool isSpace(char ch)
{
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r' || ch == '\f' || ch == '\v';
}

QVector<IniLine> iniLines(const QByteArray &data)
{
    QVector<IniLine> lines;
    const int size = data.size();
    int pos = 0;
    while (pos < size) {
        while (pos < size && isSpace(data[pos]))
            ++pos;
        IniLine line;
        line.start = pos;
        bool inQuotes = false;
        for (; pos < size; ++pos) {
            const char ch = data[pos];
            if ((ch == '\n' || ch == '\r') && !inQuotes)
                break;
            if (ch == '"') {
                inQuotes = !inQuotes;
            } else if (ch == '=' && !inQuotes && line.equals < 0) {
                line.equals = pos;
            } else if (ch == '\\' && pos + 1 < size) {
                ++pos;
                const char next = pos + 1 < size ? data[pos + 1] : 0;
                if ((data[pos] == '\n' && next == '\r') || (data[pos] == '\r' && next == '\n'))
                    ++pos;
            } else if (ch == ';' && !inQuotes) {
                if (pos == line.start) { // a comment line
                    while (pos < size && data[pos] != '\n' && data[pos] != '\r')
                        ++pos;
                }
                break;
            }
        }
        line.end = pos;
        if (line.end > line.start)
            lines.append(line);
    }
    return lines;
}

bool isEntry(const QByteArray &data, const IniLine &line)
{
    return line.equals >= 0 && data[line.start] != '[';
}

bool startsStream(QString element)
{
    element.remove(0, 1); // the guard character, see below
    const QString text = element.trimmed();
    return text.startsWith(QLatin1String("@Variant(")) || text.startsWith(QLatin1String("@DateTime("));
}

// The keys whose values the toolkit would decode from a data stream, found with the toolkit's own
// reader but without letting it decode: a "~" after every "=" and "," makes every value and every
// list element begin with a character it takes as it is, whatever the quotes and escapes around.
// Returns false when the question cannot be asked (no temporary file).
bool streamedKeys(const QByteArray &iniText, QStringList &keys)
{
    QByteArray guarded;
    guarded.reserve(iniText.size() + iniText.count('=') + iniText.count(','));
    for (const char ch : iniText) {
        guarded += ch;
        if (ch == '=' || ch == ',')
            guarded += '~';
    }
    QTemporaryFile file;
    if (!file.open() || file.write(guarded) != guarded.size())
        return false;
    file.close();

    keys.clear();
    QSettings probe(file.fileName(), QSettings::IniFormat);
    const QStringList all = probe.allKeys();
    for (const QString &key : all) {
        const QVariant value = probe.value(key);
        const QStringList elements
            = value.type() == QVariant::StringList ? value.toStringList() : QStringList {value.toString()};
        for (const QString &element : elements) {
            if (startsStream(element)) {
                keys.append(key);
                break;
            }
        }
    }
    return true;
}

// The file without the entries whose values would be decoded from a stream; each dropped key is
// logged.
QByteArray withoutStreamedValues(const QByteArray &data)
{
    const QVector<IniLine> lines = iniLines(data);
    QByteArray probe = "[p]\n";
    for (int i = 0; i < lines.size(); ++i) {
        const IniLine &line = lines[i];
        if (isEntry(data, line))
            probe += 'l' + QByteArray::number(i) + '=' + data.mid(line.equals + 1, line.end - line.equals - 1)
                + '\n';
    }
    QStringList keys;
    if (!streamedKeys(probe, keys))
        return QByteArray();
    QVector<int> dropped;
    for (const QString &key : qAsConst(keys))
        dropped.append(key.mid(3).toInt()); // "p/l<line>"
    std::sort(dropped.begin(), dropped.end());

    QByteArray kept;
    kept.reserve(data.size());
    int copied = 0;
    for (const int index : qAsConst(dropped)) {
        const IniLine &line = lines[index];
        qWarning().noquote()
            << "[Settings] dropped an unreadable value of"
            << QString::fromLatin1(data.mid(line.start, qMin(line.equals - line.start, 200))).trimmed();
        kept += data.mid(copied, line.start - copied);
        copied = line.end;
    }
    kept += data.mid(copied);
    return kept;
}

} // namespace

bool dropUndecodableValues(QSettings &settings)
{
    QFile file(settings.fileName());
    if (!file.open(QIODevice::ReadOnly))
        return true; // nothing there to read
    const QByteArray data = file.readAll();
    file.close();

    QStringList streamed;
    if (!streamedKeys(data, streamed) || streamed.isEmpty())
        return true;

    QByteArray repaired = withoutStreamedValues(data);
    // Should the file be cut into lines other than the toolkit cuts it, nothing of it is kept.
    QStringList left;
    if (!streamedKeys(repaired, left) || !left.isEmpty()) {
        qWarning() << "[Settings] cannot read" << settings.fileName() << "- starting with the defaults";
        repaired.clear();
    }
    QSaveFile out(settings.fileName());
    if (!out.open(QIODevice::WriteOnly) || out.write(repaired) != repaired.size() || !out.commit()) {
        qWarning() << "[Settings] cannot repair" << settings.fileName() << "- it is left alone in this run";
        return false;
    }
    settings.sync(); // nothing is pending yet, so this only reads the repaired file
    return true;
}
