#include "data/ReferenceList.h"

#include "data/Prefetch.h"
#include "data/ReferenceMatcher.h"
#include "data/RegularFile.h"

#include <QFile>
#include <QThread>
#include <QtEndian>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>

#ifdef Q_OS_LINUX
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// The bytes trimmed from both ends of the text after a path.
bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n';
}

// One line of the file while a list is loaded: where its path lies, how long its trimmed rest is,
// and a window of sixteen path bytes for the sort. A file of tiny lines has as many of these notes
// as records, so a note holds no more: the rest is found again from the path's end (restOf).
struct Line
{
    // The path bytes from the sort's current depth on, as two big-endian numbers, zero-padded.
    quint64 head[2];
    const char *path;
    // Both within the line, which is shorter than the line limit.
    qint32 pathLength;
    qint32 restLength;
};
static_assert(sizeof(Line) == 32, "a line's note is 32 bytes");

// The path bytes from depth on, or 17 when more follow the window than it holds: of two lines whose
// windows are equal, the one whose path ends sooner comes first.
int windowRest(const Line &line, int depth)
{
    return std::min(line.pathLength - depth, 17);
}

// Sets line's window to the path bytes from depth on; depth is never past the path's end.
void fillWindow(Line &line, int depth)
{
    const int available = line.pathLength - depth;
    const uchar *bytes = reinterpret_cast<const uchar *>(line.path) + depth;
    if (available >= 16) {
        line.head[0] = qFromBigEndian<quint64>(bytes);
        line.head[1] = qFromBigEndian<quint64>(bytes + 8);
        return;
    }
    line.head[0] = line.head[1] = 0;
    for (int i = 0; i < available; ++i)
        line.head[i / 8] |= quint64(bytes[i]) << (8 * (7 - i % 8));
}

// Orders lines as their paths' bytes do within the window at depth: when the padded windows are
// equal, the path that ends sooner is the shorter one and comes first.
bool windowLess(const Line &a, const Line &b, int depth)
{
    if (a.head[0] != b.head[0])
        return a.head[0] < b.head[0];
    if (a.head[1] != b.head[1])
        return a.head[1] < b.head[1];
    return windowRest(a, depth) < windowRest(b, depth);
}

bool windowEqual(const Line &a, const Line &b, int depth)
{
    return a.head[0] == b.head[0] && a.head[1] == b.head[1] && windowRest(a, depth) == windowRest(b, depth);
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
        const int depth = run.depth;
        if (depth > 0) {
            for (size_t i = run.begin; i < run.end; ++i) {
                if (i + 8 < run.end)
                    prefetch(lines[i + 8].path + depth);
                fillWindow(lines[i], depth);
            }
        }
        std::sort(lines.begin() + std::ptrdiff_t(run.begin), lines.begin() + std::ptrdiff_t(run.end),
                  [depth](const Line &a, const Line &b) { return windowLess(a, b, depth); });
        for (size_t i = run.begin; i < run.end;) {
            size_t j = i + 1;
            while (j < run.end && windowEqual(lines[i], lines[j], depth))
                ++j;
            if (j - i > 1 && windowRest(lines[i], depth) > 16)
                pending.push_back({i, j, depth + 16});
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
    const auto less = [](const Line &a, const Line &b) { return windowLess(a, b, 0); };
    std::vector<Line> sample;
    for (size_t i = 0; i < 255; ++i)
        sample.push_back(lines[i * (lines.size() / 255)]);
    std::nth_element(sample.begin(), sample.begin() + 127, sample.end(), less);
    const Line middle = sample[127];
    const size_t split = size_t(
        std::partition(lines.begin(), lines.end(), [&](const Line &line) { return less(line, middle); })
        - lines.begin());
    std::unique_ptr<QThread> helper(QThread::create([&lines, split] { sortRuns(lines, {{0, split, 0}}); }));
    helper->start();
    sortRuns(lines, {{split, lines.size(), 0}});
    helper->wait();
}

// Where the path and the trimmed rest of one non-empty line lie, as parsing a line says. The line
// is shorter than the line limit (or a byte array's), so its lengths fit.
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
    line.pathLength = qint32(separator - begin);
    line.restLength = qint32(restEnd - rest);
    fillWindow(line, 0);
    return line;
}

// Where a line's trimmed rest begins: after the one separator that ends the path, at the first
// byte that is not trimmed, which a rest that is not empty has.
const char *restOf(const Line &line)
{
    const char *rest = line.path + line.pathLength;
    if (line.restLength == 0)
        return rest;
    ++rest;
    while (isTrimmed(*rest))
        ++rest;
    return rest;
}

// Takes the lines of a file one by one: decides the kind from the first and notes the others. A
// line of limit bytes or more, the line feed not counted, ends the taking wherever it starts, and
// nothing after it is taken.
class LineReader
{
public:
    explicit LineReader(qint64 lineLimit)
        : limit(std::clamp(lineLimit, qint64(1), ReferenceList::maxLineLength))
    {
    }

    // One line, without its line feed. When only some lines are kept, holdsText says the line is
    // known to hold the text already.
    void take(const char *begin, const char *end, bool holdsText = false)
    {
        if (end - begin >= limit) {
            lineTooLong = true;
            return;
        }
        if (end != begin && end[-1] == '\r')
            --end;
        if (firstLine) {
            firstLine = false;
            if (end != begin && *begin == '2') {
                kind = DataRefs;
                header = QByteArray(begin, int(end - begin));
                return;
            }
        }
        if (end == begin)
            return;
        if (filtering) {
            if (!holdsText && filter->find(begin, end) == end)
                return;
            begin = keep(begin, end, &end);
        }
        lines.push_back(splitLine(begin, end));
    }

    // Whether the lines taken are copies of their own, so that the bytes they were read into can
    // be read into again.
    bool keepsCopies() const { return filtering; }

    // Every line feed in [scanFrom, end) ends a line; lineStart moves past each, and stays at a
    // line that is too long.
    void takeLines(const char *&lineStart, const char *scanFrom, const char *end)
    {
        while (!lineTooLong) {
            // When all of [lineStart, end) is shorter than the limit, so is each line in it, and
            // only the lines that hold the text need a look.
            if (filtering && !firstLine && end - lineStart < limit) {
                takeLinesContaining(lineStart, end);
                return;
            }
            const void *found = std::memchr(scanFrom, '\n', size_t(end - scanFrom));
            if (!found)
                return;
            const char *lf = static_cast<const char *>(found);
            take(lineStart, lf);
            if (lineTooLong)
                return;
            lineStart = scanFrom = lf + 1;
        }
    }

    // From now on only the lines that hold text somewhere are taken; the first line still tells
    // the kind. An empty text keeps no line.
    void keepOnlyContaining(const QByteArray &text, bool ignoreCase)
    {
        filtering = true;
        filter.emplace(text, false, ignoreCase);
    }

    // After received bytes of a file that claims total: when its lines are shorter than the first
    // guess, the notes so far tell how many the rest holds, and they get room at once rather than
    // at each doubling, which holds twice the notes for a moment. A claimed size that never
    // arrives gets at most four times the notes so far.
    void expectMore(qint64 received, qint64 total)
    {
        if (filtering || received <= 0 || total <= received)
            return;
        const double projected = double(lines.size()) * double(total) / double(received) * 1.0625;
        const size_t wanted = size_t(std::min(projected, 4.0 * double(lines.size())));
        if (wanted > lines.capacity())
            lines.reserve(wanted);
    }

    const qint64 limit;
    std::vector<Line> lines;
    // A file that yields no first line at all counts as a commands list, as an empty first line does.
    int32_t kind = Commands;
    QByteArray header;
    // A line reached the limit: the taking has ended.
    bool lineTooLong = false;

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
            const char *hit = filter->find(at, lastLf);
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

    // A copy of [begin, end), a line shorter than the limit, in the blocks of kept lines, ending at
    // *copyEnd.
    const char *keep(const char *begin, const char *end, const char **copyEnd)
    {
        const qint64 length = end - begin;
        if (kept.empty() || length > kept.back().size() - keptUsed) {
            kept.emplace_back(int(std::max(length, keptBlock)), Qt::Uninitialized);
            keptUsed = 0;
        }
        char *copy = kept.back().data() + keptUsed;
        std::memcpy(copy, begin, size_t(length));
        keptUsed += length;
        *copyEnd = copy + length;
        return copy;
    }

    static constexpr qint64 keptBlock = 1 << 20;

    bool firstLine = true;
    bool filtering = false;
    std::optional<ReferenceMatcher> filter;
    std::vector<QByteArray> kept;
    qint64 keptUsed = 0; // of the last block
};

// The records' bytes, copied in sorted order into buffers of at most this size.
constexpr qint64 maxBuffer = qint64(1) << 30;

// The notes of this many lines go back to the system at a time once their records are made.
constexpr size_t notesReleased = size_t(1) << 15;

// Gives the whole pages of [begin, end), memory of notes whose records are made and which are never
// read again, back to the system, so that a file of tiny lines does not hold all its notes and all
// its records at once; returns where the next release may begin. The notes' array stays allocated,
// and a page read again would read zeros. Elsewhere than on Linux the notes stay until the end.
const char *releaseNotes(const char *begin, const char *end)
{
#ifdef Q_OS_LINUX
    static const uintptr_t page = uintptr_t(::sysconf(_SC_PAGESIZE));
    const uintptr_t first = (reinterpret_cast<uintptr_t>(begin) + page - 1) & ~(page - 1);
    const uintptr_t last = reinterpret_cast<uintptr_t>(end) & ~(page - 1);
    if (first >= last)
        return begin;
    ::madvise(reinterpret_cast<void *>(first), last - first, MADV_DONTNEED);
    return reinterpret_cast<const char *>(last);
#else
    Q_UNUSED(end);
    return begin;
#endif
}

// Sorts the lines and makes the records. Only the paths and the trimmed rests are kept, one after
// the other, so a list holds little more than its paths and fields, and walking its records in
// order walks memory in order. The bytes the lines point into may go afterwards.
void settle(ReferenceList &list, LineReader &reader)
{
    std::vector<Line> &lines = reader.lines;
    sortLines(lines);
    list.references.reserve(lines.size());
    const char *released = reinterpret_cast<const char *>(lines.data());
    for (size_t first = 0; first < lines.size();) {
        qint64 bytes = 0;
        size_t last = first;
        while (last < lines.size()
               && (last == first || bytes + lines[last].pathLength + lines[last].restLength <= maxBuffer)) {
            bytes += qint64(lines[last].pathLength) + lines[last].restLength;
            ++last;
        }
        // At most maxBuffer, or one line, which is shorter than the line limit: an int holds it.
        QByteArray buffer(int(bytes), Qt::Uninitialized);
        char *out = buffer.data();
        int offset = 0;
        for (size_t i = first; i < last; ++i) {
            if (i + 8 < last)
                prefetch(lines[i + 8].path);
            const Line &line = lines[i];
            std::memcpy(out + offset, line.path, size_t(line.pathLength));
            std::memcpy(out + offset + line.pathLength, restOf(line), size_t(line.restLength));
            Reference record;
            record.path = ByteString(buffer, offset, line.pathLength);
            record.fields
                = FieldList::fromText(ByteString(buffer, offset + line.pathLength, line.restLength));
            list.references.push_back(std::move(record));
            offset += line.pathLength + line.restLength;
            if ((i + 1) % notesReleased == 0)
                released = releaseNotes(released, reinterpret_cast<const char *>(lines.data() + i + 1));
        }
        first = last;
    }
    list.kind = reader.kind;
    list.header = reader.header;
    std::vector<Line>().swap(lines);
}

// The file is read into chunks of this size at most; a chunk is sized by what the file still
// claims to hold, so a claimed size that never arrives costs no more than one chunk.
constexpr qint64 minChunk = qint64(64) << 10;
constexpr qint64 maxChunk = qint64(64) << 20;
// When the lines taken are copies, one chunk of this size is read into again and again.
constexpr qint64 copiedChunk = qint64(1) << 20;

// Starts a new chunk with the unfinished line of the last one at its front, sized by what the file
// still claims to hold, or more when it grows while it is read. A chunk that ended inside its first
// line holds no line of its own and goes, as do all earlier ones when no line points into them.
// The unfinished line is shorter than lineLimit, and a chunk has room for it and as much again,
// but no more than a line up to the limit needs, so its size fits an int.
void startChunk(std::vector<QByteArray> &chunks, const RegularFile &file, qint64 received, qint64 unfinished,
                const char *lineStart, bool linesAreCopies, qint64 lineLimit)
{
    // A sparse file may claim nearly 2^63 bytes: what is left is capped before the byte is added.
    const qint64 claimed = std::max(std::min(file.size() - received, maxChunk) + 1, received / 4);
    const qint64 capacity
        = std::min(std::max(std::clamp(claimed, minChunk, linesAreCopies ? copiedChunk : maxChunk),
                            2 * unfinished + minChunk),
                   lineLimit + minChunk);
    QByteArray next(int(capacity), Qt::Uninitialized);
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
    list.changed = false;
    RegularFile file(fileName);
    if (!file.isOpen())
        return false;

    // A guess from the size of a short line, so the lines are seldom moved while they arrive;
    // capped, as a sparse file may claim a size it will never deliver.
    reader.lines.reserve(size_t(std::min(std::max(file.size(), qint64(0)) / 48, qint64(1) << 21)));
    std::vector<QByteArray> chunks;
    qint64 received = 0;
    qint64 used = 0; // of the last chunk
    const char *lineStart = nullptr;
    bool readError = false;
    for (;;) {
        if (chunks.empty() || used == chunks.back().size()) {
            // The unfinished line moves to the start of a new chunk, which has room for more.
            const qint64 unfinished = chunks.empty() ? 0 : chunks.back().constData() + used - lineStart;
            // Once it reaches the limit, it is too long wherever its end may be.
            if (unfinished >= reader.limit) {
                reader.lineTooLong = true;
                break;
            }
            // When the lines taken are copies, the one chunk is read into again, with the unfinished
            // line moved to its front: a search of a large file touches little memory.
            if (reader.keepsCopies() && !chunks.empty()
                && 2 * unfinished + minChunk <= chunks.back().size()) {
                std::memmove(chunks.back().data(), lineStart, size_t(unfinished));
            } else {
                startChunk(chunks, file, received, unfinished, lineStart, reader.keepsCopies(), reader.limit);
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
        used += count;
        reader.takeLines(lineStart, scanFrom, chunk.constData() + used);
        if (reader.lineTooLong)
            break;
        reader.expectMore(received, file.size());
    }
    list.changed = file.changed();
    // What follows the last line feed is a line of its own, possibly empty. After a read error it is
    // incomplete and is not kept.
    if (!readError && !reader.lineTooLong)
        reader.take(lineStart, chunks.back().constData() + used);
    settle(list, reader);
    list.incomplete = readError || reader.lineTooLong;
    return true;
}

} // namespace

void ReferenceList::parse(const QByteArray &content)
{
    references.clear();
    incomplete = false;
    changed = false;
    LineReader reader(lineLimit);
    const char *lineStart = content.constData();
    const char *end = lineStart + content.size();
    reader.takeLines(lineStart, lineStart, end);
    if (!reader.lineTooLong)
        reader.take(lineStart, end);
    settle(*this, reader);
    incomplete = reader.lineTooLong;
}

bool ReferenceList::load(const QByteArray &fileName)
{
    LineReader reader(lineLimit);
    return readFile(*this, fileName, reader);
}

bool ReferenceList::loadContaining(const QByteArray &fileName, const QByteArray &text, bool ignoreCase)
{
    LineReader reader(lineLimit);
    reader.keepOnlyContaining(text, ignoreCase);
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
    std::memcpy(bytes.data() + parts.pathLength, restOf(parts), size_t(parts.restLength));
    path = ByteString(bytes, 0, parts.pathLength);
    fields = FieldList::fromText(ByteString(bytes, parts.pathLength, parts.restLength));
    return true;
}
