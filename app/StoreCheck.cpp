#include "app/StoreCheck.h"

#include "data/ReferenceList.h"
#include "data/RegularFile.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QVector>

#include <cstring>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

// The largest settings.ini read. The program writes a few kilobytes; the toolkit holds the whole
// file in memory several times over.
const qint64 maxStoreSize = qint64(1) << 30;

// Dropped keys named one by one in the log; of the rest only their number.
const int namedDrops = 20;

enum : unsigned char { Space = 1, Special = 2, At = 4, InValue = 8 };

// The toolkit's classes of INI bytes: the spaces skipped before a line, the bytes that may end a
// line or matter within one, and those that end a stretch of plain text within a value. "@" is
// marked too: a value decoded from a stream begins with one, written as it is or as an escape.
struct ByteClasses
{
    unsigned char of[256] = {};
    constexpr ByteClasses()
    {
        of[uchar('\t')] = Space;
        of[uchar(' ')] = Space;
        of[uchar('\n')] = Space | Special;
        of[uchar('\r')] = Space | Special;
        of[uchar('"')] = Special | InValue;
        of[uchar(';')] = Special;
        of[uchar('=')] = Special;
        of[uchar('\\')] = Special | InValue;
        of[uchar(',')] = InValue;
        of[uchar('@')] = At;
    }
};
constexpr ByteClasses byteClasses;

bool isSpace(char ch)
{
    return byteClasses.of[uchar(ch)] & Space;
}

bool startsWithByteOrderMark(const char *data, qsizetype size)
{
    return size >= 3 && uchar(data[0]) == 0xef && uchar(data[1]) == 0xbb && uchar(data[2]) == 0xbf;
}

// One line as the toolkit's reader cuts it: a quoted part or a backslash carries a line break, an
// unquoted ";" ends the line, and one at its start makes it a comment, skipped with what follows.
struct IniLine
{
    qsizetype start = 0;
    qsizetype end = 0;
    qsizetype equals = -1; // the first unquoted "=", -1 when there is none
    // After that "=": an "@", or a backslash before "x" or an octal digit, the only ways to write one.
    bool mayHoldAt = false;
};

// The next line from pos on, which moves past it; false at the end of the text.
bool nextLine(const char *data, qsizetype size, qsizetype &pos, IniLine &line)
{
    bool inQuotes = false;
    line.equals = -1;
    line.mayHoldAt = false;
    qsizetype start = pos;
    while (start < size && isSpace(data[start]))
        ++start;
    qsizetype i = start;
    bool ended = false;
    while (i < size && !ended) {
        while (i < size && !(byteClasses.of[uchar(data[i])] & (Special | At)))
            ++i;
        if (i == size)
            break;
        const char ch = data[i++];
        if (ch == '@') {
            line.mayHoldAt = line.mayHoldAt || line.equals >= 0;
        } else if (ch == '=') {
            if (!inQuotes && line.equals == -1)
                line.equals = i - 1;
        } else if (ch == '\n' || ch == '\r') {
            if (i == start + 1) {
                ++start;
            } else if (!inQuotes) {
                --i;
                ended = true;
            }
        } else if (ch == '\\') {
            if (i < size) {
                const char escaped = data[i++];
                if (line.equals >= 0 && (escaped == 'x' || (escaped >= '0' && escaped <= '7')))
                    line.mayHoldAt = true;
                if (i < size
                    && ((escaped == '\n' && data[i] == '\r') || (escaped == '\r' && data[i] == '\n')))
                    ++i;
            }
        } else if (ch == '"') {
            inQuotes = !inQuotes;
        } else if (i == start + 1) { // ";" opens a comment line
            while (i < size && data[i] != '\n' && data[i] != '\r')
                ++i;
            while (i < size && isSpace(data[i]))
                ++i;
            start = i;
        } else if (!inQuotes) {
            --i;
            ended = true;
        }
    }
    pos = i;
    line.start = start;
    line.end = i;
    return i > start;
}

// The first characters of a value or list element as the toolkit unescapes it: enough to tell
// whether it decodes it from a stream.
class ElementStart
{
public:
    void clear() { length = 0; }
    bool isFull() const { return length == capacity; }
    void add(char16_t ch)
    {
        if (length < capacity)
            text[length++] = ch;
    }
    bool isStreamed() const { return startsWith("@Variant(") || startsWith("@DateTime("); }
    // Whether more characters could still make it one that is decoded from a stream.
    bool mayBecomeStreamed() const { return begins("@Variant(") || begins("@DateTime("); }

private:
    template<int N> bool startsWith(const char (&prefix)[N]) const
    {
        return length >= N - 1 && begins(prefix);
    }
    // Whether the characters so far and prefix agree as far as both go.
    template<int N> bool begins(const char (&prefix)[N]) const
    {
        for (int i = 0; i < length && i < N - 1; ++i) {
            if (text[i] != char16_t(prefix[i]))
                return false;
        }
        return true;
    }

    static constexpr int capacity = 10;
    char16_t text[capacity] = {};
    int length = 0;
};

int hexValue(char ch)
{
    if (ch >= '0' && ch <= '9')
        return ch - '0';
    if (ch >= 'a' && ch <= 'f')
        return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'F')
        return ch - 'A' + 10;
    return -1;
}

// What a backslash and code stand for when they stand for one character; 0 otherwise.
char simpleEscape(char code)
{
    static const char codes[] = "abfnrtv\"?'\\";
    static const char values[] = "\a\b\f\n\r\t\v\"?'\\";
    const void *found = code ? std::memchr(codes, code, sizeof codes - 1) : nullptr;
    return found ? values[static_cast<const char *>(found) - codes] : 0;
}

bool isOctalDigit(char ch)
{
    return ch >= '0' && ch <= '7';
}

// Whether the value data[from, to) of an entry is, or holds as a list element, a text that the
// toolkit decodes from a stream. This follows the toolkit's unescaping to the letter: blanks and
// tabs skipped at the start of every element and after a closing quote; the escapes \a \b \f \n
// \r \t \v \" \? \' \\; \x and octal escapes of any length, of which 16 bits are kept; an escaped
// line break or any other escaped byte left out; and, as its UTF-8 decoder does, a byte order mark
// left out at the start of a stretch of plain text.
bool holdsStreamedValue(const char *data, qsizetype from, qsizetype to)
{
    ElementStart element;
    bool inQuotes = false;
    qsizetype i = from;
    const auto skipBlanks = [&] {
        while (i < to && (data[i] == ' ' || data[i] == '\t'))
            ++i;
    };
    skipBlanks();
    while (i < to) {
        if (element.isStreamed())
            return true;
        if (!element.mayBecomeStreamed()) {
            // Only where the element ends matters now, and every escape is a backslash and one
            // byte for that: the digits of a longer one are plain text.
            for (; i < to; ++i) {
                const char ch = data[i];
                if (ch == '\\')
                    ++i;
                else if (ch == '"')
                    inQuotes = !inQuotes;
                else if (ch == ',' && !inQuotes)
                    break;
            }
            if (i >= to)
                break;
        }
        const char ch = data[i];
        if (ch == '\\') {
            if (++i == to)
                break;
            const char code = data[i++];
            const char simple = simpleEscape(code);
            if (simple) {
                element.add(char16_t(simple));
            } else if (code == 'x') {
                if (i < to && hexValue(data[i]) >= 0) {
                    char16_t value = 0;
                    for (; i < to && hexValue(data[i]) >= 0; ++i)
                        value = char16_t(value * 16 + hexValue(data[i]));
                    element.add(value);
                }
            } else if (isOctalDigit(code)) {
                char16_t value = char16_t(code - '0');
                for (; i < to && isOctalDigit(data[i]); ++i)
                    value = char16_t(value * 8 + (data[i] - '0'));
                element.add(value);
            } else if ((code == '\n' || code == '\r') && i < to && (data[i] == '\n' || data[i] == '\r')
                       && data[i] != code) {
                ++i;
            }
        } else if (ch == '"') {
            ++i;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (ch == ',' && !inQuotes) {
            element.clear();
            ++i;
            skipBlanks();
        } else {
            qsizetype end = i + 1;
            while (end < to && !(byteClasses.of[uchar(data[end])] & InValue))
                ++end;
            qsizetype next = i;
            if (startsWithByteOrderMark(data + i, end - i))
                next += 3;
            for (; next < end && !element.isFull(); ++next)
                element.add(char16_t(uchar(data[next])));
            i = end;
        }
    }
    return element.isStreamed();
}

QString shownName(const QString &path)
{
    return QLatin1Char('"') + QDir::toNativeSeparators(path) + QLatin1Char('"');
}

// What is at path when it is neither a regular file (also through links) nor nothing at all, said
// as "is …"; empty for those two.
QString unusualKind(const QString &path)
{
    const QFileInfo info(path);
    if (info.isFile())
        return QString();
    if (info.isDir())
        return QStringLiteral("is a folder, not a regular file");
    if (!info.exists()) {
        // Writing through it would make a file wherever the link points.
        return info.isSymLink() ? QStringLiteral("is a link to nothing, not a regular file") : QString();
    }
#ifdef Q_OS_UNIX
    struct stat status;
    if (::stat(QFile::encodeName(path).constData(), &status) == 0) {
        if (S_ISFIFO(status.st_mode))
            return QStringLiteral("is a FIFO, not a regular file");
        if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
            return QStringLiteral("is a device, not a regular file");
        if (S_ISSOCK(status.st_mode))
            return QStringLiteral("is a socket, not a regular file");
    }
#endif
    return QStringLiteral("is not a regular file");
}

enum class Reading { Done, TooLarge, Failed };

Reading readWhole(RegularFile &file, QByteArray &bytes)
{
    const qint64 hint = qMin(file.size(), maxStoreSize);
    bytes.resize(int(hint) + 1);
    qint64 filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (filled > maxStoreSize)
                return Reading::TooLarge;
            bytes.resize(int(qMin(qMax(filled * 2, qint64(4096)), maxStoreSize + 1)));
        }
        const qint64 count = file.read(bytes.data() + filled, bytes.size() - filled);
        if (count < 0)
            return Reading::Failed;
        if (count == 0)
            break;
        filled += count;
    }
    bytes.resize(int(filled));
    return Reading::Done;
}

void logDropped(const QStringList &keys)
{
    for (int i = 0; i < keys.size() && i < namedDrops; ++i)
        qWarning().noquote() << "[Settings] dropped an unreadable value of" << keys.at(i);
    if (keys.size() > namedDrops)
        qWarning().noquote() << "[Settings] dropped" << keys.size() - namedDrops << "more unreadable values";
}

} // namespace

bool dropStreamedValues(QByteArray &ini, QStringList &dropped)
{
    char *data = ini.data();
    const qsizetype size = ini.size();
    QVector<IniLine> streamed;
    qsizetype pos = startsWithByteOrderMark(data, size) ? 3 : 0;
    IniLine line;
    while (nextLine(data, size, pos, line)) {
        // A line that begins with "[" names a section, whatever follows.
        if (data[line.start] != '[' && line.mayHoldAt && holdsStreamedValue(data, line.equals + 1, line.end))
            streamed.append(line);
    }
    if (streamed.isEmpty())
        return false;

    // The lines are taken out in place. Each leaves its line break, or the ";" that ended it,
    // behind, so every other line is cut as before.
    qsizetype kept = 0;
    qsizetype next = 0;
    for (const IniLine &entry : qAsConst(streamed)) {
        const qsizetype keyLength = qMin<qsizetype>(entry.equals - entry.start, 200);
        dropped.append(QString::fromLatin1(data + entry.start, int(keyLength)).trimmed());
        std::memmove(data + kept, data + next, size_t(entry.start - next));
        kept += entry.start - next;
        next = entry.end;
    }
    std::memmove(data + kept, data + next, size_t(size - next));
    ini.truncate(int(kept + size - next));
    return true;
}

QString prepareStoreFile(const QString &path)
{
    QString kind = unusualKind(path);
    if (!kind.isEmpty())
        return shownName(path) + QLatin1Char(' ') + kind;
    QByteArray ini;
    Reading reading = Reading::Failed;
    {
        RegularFile file(ReferenceList::encodeName(path));
        if (!file.isOpen()) {
            // Nothing there, or a file the store cannot open either; unless something else came in
            // between.
            kind = unusualKind(path);
            return kind.isEmpty() ? QString() : shownName(path) + QLatin1Char(' ') + kind;
        }
        reading = readWhole(file, ini);
    } // closed before the file is replaced, which Windows refuses while it is open
    switch (reading) {
    case Reading::TooLarge:
        return shownName(path) + QStringLiteral(" is larger than 1 GiB");
    case Reading::Failed:
        return shownName(path) + QStringLiteral(" cannot be read");
    case Reading::Done:
        break;
    }
    QStringList dropped;
    if (!dropStreamedValues(ini, dropped))
        return QString();
    logDropped(dropped);
    QSaveFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(ini) != ini.size() || !out.commit())
        return shownName(path) + QStringLiteral(" holds values that cannot be read, and cannot be rewritten");
    return QString();
}
