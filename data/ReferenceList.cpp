#include "data/ReferenceList.h"

#include "data/RegularFile.h"

#include <QFile>

#include <algorithm>
#include <cstring>

namespace {

// The bytes trimmed from both ends of the text after a path.
bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n';
}

// Paths compare as unsigned bytes, a proper prefix first; no locale is involved.
bool pathLess(const QByteArray &a, const QByteArray &b)
{
    const int common = std::min(a.size(), b.size());
    const int order = std::memcmp(a.constData(), b.constData(), size_t(common));
    return order != 0 ? order < 0 : a.size() < b.size();
}

// The first sixteen bytes of a path as two big-endian numbers, zero-padded. Comparing them orders
// two paths as the bytes do whenever they differ; equal heads are settled by the whole paths.
struct SortKey
{
    quint64 head[2];
    Reference *record;

    explicit SortKey(Reference &reference)
        : head {0, 0}
        , record(&reference)
    {
        const int size = std::min(reference.path.size(), 16);
        const uchar *bytes = reinterpret_cast<const uchar *>(reference.path.constData());
        for (int i = 0; i < size; ++i)
            head[i / 8] |= quint64(bytes[i]) << (8 * (7 - i % 8));
    }

    bool operator<(const SortKey &other) const
    {
        if (head[0] != other.head[0])
            return head[0] < other.head[0];
        if (head[1] != other.head[1])
            return head[1] < other.head[1];
        return pathLess(record->path, other.record->path);
    }
};

// Sorts by path with the standard unstable sort. The keys sit side by side in memory, so most
// comparisons never reach the records' own bytes.
void sortByPath(std::vector<Reference> &references)
{
    std::vector<SortKey> keys;
    keys.reserve(references.size());
    for (Reference &reference : references)
        keys.emplace_back(reference);
    std::sort(keys.begin(), keys.end());

    std::vector<Reference> sorted;
    sorted.reserve(references.size());
    for (const SortKey &key : keys)
        sorted.push_back(std::move(*key.record));
    references.swap(sorted);
}

// Splits the bytes of a file into lines as they arrive and hands each line on.
class LineReader
{
public:
    explicit LineReader(ReferenceList &list)
        : list(list)
    {
    }

    void feed(const char *data, size_t size)
    {
        const char *end = data + size;
        while (data != end) {
            const char *lf = static_cast<const char *>(std::memchr(data, '\n', size_t(end - data)));
            if (!lf) {
                pending.append(data, int(end - data));
                return;
            }
            if (pending.isEmpty()) {
                takeLine(data, lf);
            } else {
                pending.append(data, int(lf - data));
                takeLine(pending.constData(), pending.constData() + pending.size());
                pending.clear();
            }
            data = lf + 1;
        }
    }

    // What follows the last line feed is a line of its own, possibly empty.
    void finish() { takeLine(pending.constData(), pending.constData() + pending.size()); }

    // A file that yields no first line at all counts as a commands list, as an empty first line does.
    int32_t kind = Commands;

private:
    void takeLine(const char *begin, const char *end)
    {
        if (end != begin && end[-1] == '\r')
            --end;
        if (firstLine) {
            firstLine = false;
            if (end != begin && *begin == '2') {
                kind = DataRefs;
                return;
            }
        }
        if (end == begin)
            return;
        Reference record;
        if (record.parse(QByteArray::fromRawData(begin, int(end - begin))))
            list.references.push_back(std::move(record));
    }

    ReferenceList &list;
    QByteArray pending;
    bool firstLine = true;
};

void settle(ReferenceList &list, const LineReader &reader)
{
    sortByPath(list.references);
    list.kind = reader.kind;
}

} // namespace

void ReferenceList::parse(const QByteArray &content)
{
    references.clear();
    LineReader reader(*this);
    reader.feed(content.constData(), size_t(content.size()));
    reader.finish();
    settle(*this, reader);
}

bool ReferenceList::load(const QByteArray &fileName)
{
    references.clear();
    RegularFile file(fileName);
    if (!file.isOpen())
        return false;

    // A guess from the size of a typical line, so the records are seldom moved while they arrive.
    // Capped, as a sparse file may claim a size it will never deliver.
    references.reserve(size_t(std::min(file.size() / 80, qint64(1) << 21)));
    LineReader reader(*this);
    std::vector<char> buffer(size_t(1) << 20);
    bool readError = false;
    for (;;) {
        const qint64 count = file.read(buffer.data(), qint64(buffer.size()));
        if (count > 0) {
            reader.feed(buffer.data(), size_t(count));
        } else {
            readError = count < 0;
            break;
        }
    }
    // After a read error the unfinished line is incomplete and is not kept.
    if (!readError)
        reader.finish();
    settle(*this, reader);
    return true;
}

QByteArray ReferenceList::encodeName(const QString &path)
{
#ifdef Q_OS_WIN
    return path.toUtf8();
#else
    return QFile::encodeName(path);
#endif
}

namespace {

int lengthToNul(const QByteArray &bytes)
{
    const void *nul = std::memchr(bytes.constData(), '\0', size_t(bytes.size()));
    return nul ? int(static_cast<const char *>(nul) - bytes.constData()) : bytes.size();
}

} // namespace

QString decodeText(const QByteArray &bytes)
{
    return QString::fromUtf8(bytes.constData(), lengthToNul(bytes));
}

QString displayText(const QString &text)
{
    if (text.size() <= displayLimit)
        return text;
    int cut = displayLimit - 1;
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    return text.left(cut) + QChar(0x2026);
}

QString displayText(const QByteArray &bytes)
{
    // Every character takes at most four bytes, so this prefix holds more than the limit whenever
    // the whole text does.
    const int length = qMin(lengthToNul(bytes), 4 * displayLimit + 4);
    return displayText(QString::fromUtf8(bytes.constData(), length));
}

bool Reference::parse(const QByteArray &line)
{
    if (line.isEmpty())
        return false;
    path.clear();
    fields.clear();

    const char *begin = line.constData();
    const char *end = begin + line.size();
    const char *separator = begin;
    while (separator != end && *separator != ' ' && *separator != '\t')
        ++separator;
    if (separator == end) {
        // A deep copy: the line may be a view into the loader's buffer.
        path = QByteArray(begin, line.size());
        return true;
    }
    path = QByteArray(begin, int(separator - begin));

    const char *rest = separator + 1;
    while (rest != end && isTrimmed(*rest))
        ++rest;
    while (end != rest && isTrimmed(end[-1]))
        --end;
    // Room for every piece at once: growing the list piece by piece costs a loaded file dearly.
    if (rest != end)
        fields.reserve(int(std::count(rest, end, '\t')) + 1);
    while (rest != end) {
        const char *tab = static_cast<const char *>(std::memchr(rest, '\t', size_t(end - rest)));
        const char *pieceEnd = tab ? tab : end;
        if (pieceEnd != rest)
            fields.append(QByteArray(rest, int(pieceEnd - rest)));
        rest = tab ? tab + 1 : end;
    }
    return true;
}
