#include "data/ReferenceList.h"

#include "data/Prefetch.h"
#include "data/ReferenceMatcher.h"
#include "data/RegularFile.h"

#include <QFile>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

// The bytes trimmed from both ends of the text after a path.
bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n';
}

// One line of the file while a list is loaded: where its path and the trimmed text after it lie,
// and a window of sixteen path bytes for the sort.
struct Line
{
    // The path bytes from the sort's current depth on, as two big-endian numbers, zero-padded.
    quint64 head[2];
    const char *path;
    int pathLength;
    int restOffset; // from the path
    int restLength;
    // The path bytes from the window on, or 17 when more follow the window than it holds.
    int left;
};

// Sets line's window to the path bytes from depth on; depth is never past the path's end.
void fillWindow(Line &line, int depth)
{
    const int available = line.pathLength - depth;
    const uchar *bytes = reinterpret_cast<const uchar *>(line.path) + depth;
    if (available >= 16) {
        line.head[0] = qFromBigEndian<quint64>(bytes);
        line.head[1] = qFromBigEndian<quint64>(bytes + 8);
        line.left = available > 16 ? 17 : 16;
        return;
    }
    line.head[0] = line.head[1] = 0;
    for (int i = 0; i < available; ++i)
        line.head[i / 8] |= quint64(bytes[i]) << (8 * (7 - i % 8));
    line.left = available;
}

// Orders lines as their paths' bytes do within the window: when the padded windows are equal, the
// path that ends sooner is the shorter one and comes first.
bool windowLess(const Line &a, const Line &b)
{
    if (a.head[0] != b.head[0])
        return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1])
        return a.head[1] < b.head[1];
    return a.left < b.left;
}

bool windowEqual(const Line &a, const Line &b)
{
    return a.head[0] == b.head[0] && a.head[1] == b.head[1] && a.left == b.left;
}

// A stretch of lines whose paths are alike up to depth, waiting to be sorted from there.
struct Run
{
    size_t begin;
    size_t end;
    int depth;
};

// Sorts by path, sixteen bytes at a time: the lines of a run are sorted by their windows, then each
// run of lines whose windows are equal and whose paths go on is sorted by the next window, and so
// on. The comparisons read only the windows, which sit side by side; each path is read once per
// window.
void sortRuns(std::vector<Line> &lines, std::vector<Run> pending)
{
    while (!pending.empty()) {
        const Run run = pending.back();
        pending.pop_back();
        if (run.depth > 0) {
            for (size_t i = run.begin; i < run.end; ++i) {
                if (i + 8 < run.end)
                    prefetch(lines[i + 8].path + run.depth);
                fillWindow(lines[i], run.depth);
            }
        }
        std::sort(lines.begin() + std::ptrdiff_t(run.begin), lines.begin() + std::ptrdiff_t(run.end),
                  [](const Line &a, const Line &b) { return windowLess(a, b); });
        for (size_t i = run.begin; i < run.end;) {
            size_t j = i + 1;
            while (j < run.end && windowEqual(lines[i], lines[j]))
                ++j;
            if (j - i > 1 && lines[i].left > 16)
                pending.push_back({i, j, run.depth + 16});
            i = j;
        }
    }
}

// From this many lines on, the sort splits them at a sampled middle window into the lines before
// it and the others, and sorts the two parts side by side on two threads. They share no line, and
// load waits for both.
constexpr size_t splitSortFrom = size_t(1) << 16;

void sortLines(std::vector<Line> &lines)
{
    if (lines.size() < splitSortFrom || QThread::idealThreadCount() < 2) {
        sortRuns(lines, {{0, lines.size(), 0}});
        return;
    }
    std::vector<Line> sample;
    for (size_t i = 0; i < 255; ++i)
        sample.push_back(lines[i * (lines.size() / 255)]);
    std::nth_element(sample.begin(), sample.begin() + 127, sample.end(),
                     [](const Line &a, const Line &b) { return windowLess(a, b); });
    const Line middle = sample[127];
    const size_t split = size_t(
        std::partition(lines.begin(), lines.end(), [&](const Line &line) { return windowLess(line, middle); })
        - lines.begin());
    std::unique_ptr<QThread> helper(QThread::create([&lines, split] { sortRuns(lines, {{0, split, 0}}); }));
    helper->start();
    sortRuns(lines, {{split, lines.size(), 0}});
    helper->wait();
}

// Where the path and the trimmed rest of one non-empty line lie, as parsing a line says.
Line splitLine(const char *begin, const char *end)
{
    const char *separator = begin;
    while (separator != end && *separator != ' ' && *separator != '\t')
        ++separator;
    const char *rest = separator == end ? end : separator + 1;
    const char *restEnd = end;
    while (rest != restEnd && isTrimmed(*rest))
        ++rest;
    while (restEnd != rest && isTrimmed(restEnd[-1]))
        --restEnd;

    Line line;
    line.path = begin;
    line.pathLength = int(separator - begin);
    line.restOffset = int(rest - begin);
    line.restLength = int(restEnd - rest);
    fillWindow(line, 0);
    return line;
}

// Takes the lines of a file one by one: decides the kind from the first and notes the others.
class LineReader
{
public:
    // One line, without its line feed. When only some lines are kept, holdsText says the line is
    // known to hold the text already.
    void take(const char *begin, const char *end, bool holdsText = false)
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
        if (filtering) {
            if (!holdsText && ReferenceMatcher::find(begin, end, filter) == end)
                return;
            begin = keep(begin, end, &end);
        }
        lines.push_back(splitLine(begin, end));
    }

    // Whether the lines taken are copies of their own, so that the bytes they were read into can
    // be read into again.
    bool keepsCopies() const { return filtering; }

    // Every line feed in [scanFrom, end) ends a line; lineStart moves past each.
    void takeLines(const char *&lineStart, const char *scanFrom, const char *end)
    {
        while (const void *found = std::memchr(scanFrom, '\n', size_t(end - scanFrom))) {
            const char *lf = static_cast<const char *>(found);
            if (filtering && !firstLine) {
                takeLinesContaining(lineStart, end);
                return;
            }
            take(lineStart, lf);
            lineStart = scanFrom = lf + 1;
        }
    }

    // From now on only the lines that hold text somewhere are taken; the first line still tells
    // the kind. An empty text keeps no line.
    void keepOnlyContaining(const QByteArray &text)
    {
        filtering = true;
        filter = text;
    }

    std::vector<Line> lines;
    // A file that yields no first line at all counts as a commands list, as an empty first line does.
    int32_t kind = Commands;

private:
    // The complete lines of [lineStart, end): the text is looked for across all of them, and only
    // the lines it is found in are split. lineStart moves past the last line feed.
    void takeLinesContaining(const char *&lineStart, const char *end)
    {
        const char *lastLf = end;
        while (lastLf != lineStart && lastLf[-1] != '\n')
            --lastLf;
        if (lastLf == lineStart)
            return;
        for (const char *at = lineStart; at < lastLf;) {
            const char *hit = ReferenceMatcher::find(at, lastLf, filter);
            if (hit == lastLf)
                break;
            const char *begin = hit;
            while (begin != at && begin[-1] != '\n')
                --begin;
            const char *lineEnd = static_cast<const char *>(std::memchr(hit, '\n', size_t(lastLf - hit)));
            take(begin, lineEnd, true);
            at = lineEnd + 1;
        }
        lineStart = lastLf;
    }

    // A copy of [begin, end) in the blocks of kept lines, ending at *copyEnd.
    const char *keep(const char *begin, const char *end, const char **copyEnd)
    {
        const int length = int(end - begin);
        if (kept.empty() || keptUsed + length > kept.back().size()) {
            kept.emplace_back(std::max(length, keptBlock), Qt::Uninitialized);
            keptUsed = 0;
        }
        char *copy = kept.back().data() + keptUsed;
        std::memcpy(copy, begin, size_t(length));
        keptUsed += length;
        *copyEnd = copy + length;
        return copy;
    }

    static constexpr int keptBlock = 1 << 20;

    bool firstLine = true;
    bool filtering = false;
    QByteArray filter;
    std::vector<QByteArray> kept;
    int keptUsed = 0; // of the last block
};

// The records' bytes, copied in sorted order into buffers of at most this size.
constexpr qint64 maxBuffer = qint64(1) << 30;

// Sorts the lines and makes the records. Only the paths and the trimmed rests are kept, one after
// the other, so a list holds little more than its paths and fields, and walking its records in
// order walks memory in order. The bytes the lines point into may go afterwards.
void settle(ReferenceList &list, LineReader &reader)
{
    std::vector<Line> &lines = reader.lines;
    sortLines(lines);
    list.references.reserve(lines.size());
    for (size_t first = 0; first < lines.size();) {
        qint64 bytes = 0;
        size_t last = first;
        while (last < lines.size()
               && (last == first || bytes + lines[last].pathLength + lines[last].restLength <= maxBuffer)) {
            bytes += lines[last].pathLength + lines[last].restLength;
            ++last;
        }
        QByteArray buffer(int(bytes), Qt::Uninitialized);
        char *out = buffer.data();
        int offset = 0;
        for (size_t i = first; i < last; ++i) {
            if (i + 8 < last)
                prefetch(lines[i + 8].path);
            const Line &line = lines[i];
            std::memcpy(out + offset, line.path, size_t(line.pathLength));
            std::memcpy(out + offset + line.pathLength, line.path + line.restOffset, size_t(line.restLength));
            Reference record;
            record.path = ByteString(buffer, offset, line.pathLength);
            record.fields
                = FieldList::fromText(ByteString(buffer, offset + line.pathLength, line.restLength));
            list.references.push_back(std::move(record));
            offset += line.pathLength + line.restLength;
        }
        first = last;
    }
    list.kind = reader.kind;
    std::vector<Line>().swap(lines);
}

// The file is read into chunks of this size at most; a chunk is sized by what the file still
// claims to hold, so a claimed size that never arrives costs no more than one chunk.
constexpr qint64 minChunk = qint64(64) << 10;
constexpr qint64 maxChunk = qint64(64) << 20;
// When the lines taken are copies, one chunk of this size is read into again and again.
constexpr qint64 copiedChunk = qint64(1) << 20;
constexpr int maxLine = 1 << 30;

// Starts a new chunk with the unfinished line of the last one at its front, sized by what the file
// still claims to hold, or more when it grows while it is read. A chunk that ended inside its first
// line holds no line of its own and goes, as do all earlier ones when no line points into them.
void startChunk(std::vector<QByteArray> &chunks, const RegularFile &file, qint64 received, int unfinished,
                const char *lineStart, bool linesAreCopies)
{
    const qint64 claimed = std::max(file.size() - received + 1, received / 4);
    const qint64 capacity = std::max(std::clamp(claimed, minChunk, linesAreCopies ? copiedChunk : maxChunk),
                                     2 * qint64(unfinished) + minChunk);
    QByteArray next(int(std::min(capacity, 2 * qint64(maxLine) - minChunk)), Qt::Uninitialized);
    if (unfinished > 0)
        std::memcpy(next.data(), lineStart, size_t(unfinished));
    if (linesAreCopies)
        chunks.clear();
    else if (!chunks.empty() && lineStart == chunks.back().constData())
        chunks.pop_back();
    chunks.push_back(std::move(next));
}

// Reads a whole file through reader into list, as load says.
bool readFile(ReferenceList &list, const QByteArray &fileName, LineReader &reader)
{
    list.references.clear();
    list.incomplete = false;
    RegularFile file(fileName);
    if (!file.isOpen())
        return false;

    // A guess from the size of a short line, so the lines are seldom moved while they arrive;
    // capped, as a sparse file may claim a size it will never deliver.
    reader.lines.reserve(size_t(std::min(std::max(file.size(), qint64(0)) / 48, qint64(1) << 21)));
    std::vector<QByteArray> chunks;
    qint64 received = 0;
    int used = 0; // of the last chunk
    const char *lineStart = nullptr;
    bool readError = false;
    for (;;) {
        if (chunks.empty() || used == chunks.back().size()) {
            // The unfinished line moves to the start of a new chunk, which has room for more.
            const int unfinished = chunks.empty() ? 0 : int(chunks.back().constData() + used - lineStart);
            // A line of a gigabyte or more cannot be held: the reading ends as at a read error.
            if (unfinished >= maxLine) {
                readError = true;
                break;
            }
            // When the lines taken are copies, the one chunk is read into again, with the unfinished
            // line moved to its front: a search of a large file touches little memory.
            if (reader.keepsCopies() && !chunks.empty()
                && 2 * qint64(unfinished) + minChunk <= chunks.back().size()) {
                std::memmove(chunks.back().data(), lineStart, size_t(unfinished));
            } else {
                startChunk(chunks, file, received, unfinished, lineStart, reader.keepsCopies());
            }
            used = unfinished;
            lineStart = chunks.back().constData();
        }
        QByteArray &chunk = chunks.back();
        const qint64 count = file.read(chunk.data() + used, chunk.size() - used);
        if (count <= 0) {
            readError = count < 0;
            break;
        }
        received += count;
        const char *scanFrom = chunk.constData() + used;
        used += int(count);
        reader.takeLines(lineStart, scanFrom, chunk.constData() + used);
    }
    // What follows the last line feed is a line of its own, possibly empty. After a read error it is
    // incomplete and is not kept.
    if (!readError)
        reader.take(lineStart, chunks.back().constData() + used);
    settle(list, reader);
    list.incomplete = readError;
    return true;
}

} // namespace

void ReferenceList::parse(const QByteArray &content)
{
    references.clear();
    incomplete = false;
    LineReader reader;
    const char *lineStart = content.constData();
    const char *end = lineStart + content.size();
    reader.takeLines(lineStart, lineStart, end);
    reader.take(lineStart, end);
    settle(*this, reader);
}

bool ReferenceList::load(const QByteArray &fileName)
{
    LineReader reader;
    return readFile(*this, fileName, reader);
}

bool ReferenceList::loadContaining(const QByteArray &fileName, const QByteArray &text)
{
    LineReader reader;
    reader.keepOnlyContaining(text);
    return readFile(*this, fileName, reader);
}

std::vector<const Reference *> ReferenceList::matching(const QByteArray &text) const
{
    std::vector<const Reference *> found;
    if (text.isEmpty())
        return found;
    const ReferenceMatcher matcher(text);
    for (const Reference &record : references) {
        if (matcher.matches(record))
            found.push_back(&record);
    }
    return found;
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

int lengthToNul(const char *bytes, int size)
{
    const void *nul = std::memchr(bytes, '\0', size_t(size));
    return nul ? int(static_cast<const char *>(nul) - bytes) : size;
}

} // namespace

QString decodeText(const char *bytes, int size)
{
    return QString::fromUtf8(bytes, lengthToNul(bytes, size));
}

QString decodeText(const QByteArray &bytes)
{
    return decodeText(bytes.constData(), bytes.size());
}

QString decodeText(const ByteString &bytes)
{
    return decodeText(bytes.constData(), bytes.size());
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

QString displayText(const char *bytes, int size)
{
    // Every character takes at most four bytes, so this prefix holds more than the limit whenever
    // the whole text does.
    const int length = qMin(lengthToNul(bytes, size), 4 * displayLimit + 4);
    return displayText(QString::fromUtf8(bytes, length));
}

QString displayText(const QByteArray &bytes)
{
    return displayText(bytes.constData(), bytes.size());
}

QString displayText(const ByteString &bytes)
{
    return displayText(bytes.constData(), bytes.size());
}

bool Reference::parse(const QByteArray &line)
{
    if (line.isEmpty())
        return false;
    const Line parts = splitLine(line.constData(), line.constData() + line.size());
    QByteArray bytes(parts.pathLength + parts.restLength, Qt::Uninitialized);
    std::memcpy(bytes.data(), parts.path, size_t(parts.pathLength));
    std::memcpy(bytes.data() + parts.pathLength, parts.path + parts.restOffset, size_t(parts.restLength));
    path = ByteString(bytes, 0, parts.pathLength);
    fields = FieldList::fromText(ByteString(bytes, parts.pathLength, parts.restLength));
    return true;
}
