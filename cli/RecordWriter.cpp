#include "cli/RecordWriter.h"

#include "cli/Output.h"
#include "data/ItemColumns.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

// Aligned text gives no column more room than this; a longer cell pushes the rest of its row on.
constexpr int maxTextWidth = 64;
// A longer cell is decoded and written this many bytes at a time, so that a cell of any size
// costs a bounded amount of memory beyond the list.
constexpr int sliceBytes = 64 * 1024;

// Printable ASCII goes out as it is, in every format but where its quoting rules say otherwise.
bool isPlain(const char *bytes, int size)
{
    for (int i = 0; i < size; ++i) {
        const uchar c = uchar(bytes[i]);
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return true;
}

// What could break a row or drive a terminal: C0 and C1 controls, DEL, and the line and paragraph
// separators that some readers take for line ends.
bool isControl(ushort c)
{
    return c < 0x20 || (c >= 0x7f && c <= 0x9f) || c == 0x2028 || c == 0x2029;
}

QString cleanText(QString text)
{
    for (QChar &c : text) {
        if (isControl(c.unicode()))
            c = QChar::ReplacementCharacter;
    }
    return text;
}

// Decoded as the window decodes it, with each control character replaced.
QString cleanText(const char *bytes, int size)
{
    return cleanText(decodeText(bytes, size));
}

// Characters, as near as the terminal counts them; no column is wider than maxTextWidth, so only
// the beginning counts. Every character takes at most four bytes.
int widthOf(const char *bytes, int size)
{
    size = std::min(size, 4 * maxTextWidth + 4);
    return isPlain(bytes, size) ? size : cleanText(bytes, size).size();
}

bool holds(const char *bytes, int size, char c)
{
    return std::memchr(bytes, c, size_t(size)) != nullptr;
}

int utf8Width(const char *bytes, int size)
{
    int width = 0;
    for (int i = 0; i < size; ++i)
        width += (uchar(bytes[i]) & 0xc0) != 0x80;
    return width;
}

// decodeText's end of bytes: their first NUL.
int lengthToNul(const char *bytes, int size)
{
    const void *nul = std::memchr(bytes, '\0', size_t(size));
    return nul ? int(static_cast<const char *>(nul) - bytes) : size;
}

// Where a slice of bytes that would end at end ends instead: before the first byte of a UTF-8
// sequence that end would cut. The decoder then starts afresh at every slice, as it would in the
// whole text, valid or not: a byte that cannot continue a sequence ends it.
int sliceEnd(const char *bytes, int end)
{
    for (int i = end - 1; i >= std::max(end - 3, 0); --i) {
        const uchar c = uchar(bytes[i]);
        if ((c & 0xc0) == 0x80)
            continue;
        const int length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : c >= 0xc0 ? 2 : 1;
        return i + length > end ? i : end;
    }
    return end;
}

// The bytes from start to end of a text, decoded as decodeText decodes them within the whole
// text, which ends before its first NUL. QString::fromUtf8 drops a byte order mark at the start
// of what it is given, which only the text's first is.
QString decodeSlice(const char *bytes, int start, int end)
{
    static const char byteOrderMark[] = "\xef\xbb\xbf";
    const auto markAt = [&](int at) { return end - at >= 3 && std::memcmp(bytes + at, byteOrderMark, 3) == 0; };
    QString text;
    if (start == 0 && markAt(0))
        start = 3;
    for (; markAt(start); start += 3)
        text += QChar(0xfeff);
    return text + QString::fromUtf8(bytes + start, end - start);
}

// A JSON string's text between its quotes, as QtCore's writer escapes it. Each character is
// escaped on its own, so the escapes of the parts of a text make the escape of the whole.
QByteArray jsonEscaped(const QString &text)
{
    const QByteArray array = QJsonDocument(QJsonArray {QJsonValue(text)}).toJson(QJsonDocument::Compact);
    return array.mid(2, array.size() - 4);
}

bool needsCsvQuotes(const QString &text)
{
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char(',') || c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            return true;
    }
    return false;
}

// The same for bytes: these characters are ASCII, which UTF-8 never uses within a sequence.
bool needsCsvQuotes(const char *bytes, int size)
{
    for (int i = 0; i < size; ++i) {
        const char c = bytes[i];
        if (c == '"' || c == ',' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

QByteArray csvEscaped(const QString &text)
{
    return QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")).toUtf8();
}

void appendCsv(QByteArray &out, const QString &text)
{
    if (!needsCsvQuotes(text)) {
        out += text.toUtf8();
        return;
    }
    out += '"';
    out += csvEscaped(text);
    out += '"';
}

// Where an SGR code ("\x1b[1;31m") that ends at end begins, or -1.
int codeStart(const QByteArray &out, int end)
{
    if (end < 3 || out.at(end - 1) != 'm')
        return -1;
    int at = end - 2;
    while (at >= 0 && (std::isdigit(uchar(out.at(at))) || out.at(at) == ';'))
        --at;
    return at >= 1 && out.at(at) == '[' && out.at(at - 1) == '\x1b' ? at - 1 : -1;
}

// Drops the blanks at a row's end, also those before the colour codes that end it, which stay. A
// text cell holds no ESC of its own (it shows as U+FFFD), so a code there is the writer's.
void chopSpaces(QByteArray &out)
{
    int end = out.size();
    QByteArray codes;
    for (;;) {
        if (end > 0 && out.at(end - 1) == ' ') {
            --end;
        } else if (const int start = codeStart(out, end); start >= 0) {
            codes.prepend(out.mid(start, end - start));
            end = start;
        } else {
            break;
        }
    }
    out.truncate(end);
    out += codes;
}

const char *const separator[] = {"  ", "\t", ",", ",", "\t", ""};

// SGR codes, as grep and git colour: found text bold red, added green, removed red, changed yellow.
const char *const foundColor = "\x1b[1;31m";
const char *const addedColor = "\x1b[32m";
const char *const removedColor = "\x1b[31m";
const char *const changedColor = "\x1b[33m";
const char *const noColor = "\x1b[m";

} // namespace

bool RecordWriter::parseFormat(const QByteArray &name, Format *format)
{
    static const char *const names[] = {"text", "tsv", "csv", "jsonl", "list", "paths"};
    for (int i = 0; i < 6; ++i) {
        if (name == names[i]) {
            *format = Format(i);
            return true;
        }
    }
    return false;
}

RecordWriter::RecordWriter(Format format, int32_t kind, Output &out)
    : format(format)
    , kind(kind)
    , columns(ItemColumns::count(kind))
    , out(out)
{
}

QString RecordWriter::columnName(int32_t kind, int column)
{
    const QVariant name = ItemColumns::headerText(kind, column);
    return name.isValid() ? name.toString() : QStringLiteral("Extra");
}

QByteArray RecordWriter::jsonKey(int32_t kind, int column)
{
    static const char *const dataRefs[] = {"path", "type", "writable", "units", "description"};
    static const char *const commands[] = {"path", "description"};
    if (column >= ItemColumns::count(kind))
        return "extra";
    return kind == DataRefs ? dataRefs[column] : commands[column];
}

const std::vector<RecordWriter::Cell> &RecordWriter::cellsOf(const Reference &record)
{
    cells.clear();
    cells.push_back({record.path.constData(), record.path.size()});
    record.fields.forEach([this](const char *bytes, int size) { cells.push_back({bytes, size}); });
    while (int(cells.size()) < columns)
        cells.push_back({"", 0});
    return cells;
}

bool RecordWriter::appendCell(const char *bytes, int size)
{
    QByteArray &buffer = out.buffer();
    // The common cell, short printable ASCII, needs neither decoding nor escapes.
    if (size <= sliceBytes && isPlain(bytes, size)) {
        switch (format) {
        case Text:
        case Tsv:
        case List:
        case Paths:
            buffer.append(bytes, size);
            return true;
        case Csv:
            if (!holds(bytes, size, '"') && !holds(bytes, size, ',')) {
                buffer.append(bytes, size);
                return true;
            }
            break;
        case Jsonl:
            if (!holds(bytes, size, '"') && !holds(bytes, size, '\\')) {
                buffer += '"';
                buffer.append(bytes, size);
                buffer += '"';
                return true;
            }
            break;
        }
    }
    size = lengthToNul(bytes, size);
    const bool quoted = format == Jsonl || (format == Csv && needsCsvQuotes(bytes, size));
    if (quoted)
        buffer += '"';
    for (int start = 0;;) {
        const int end = size - start > sliceBytes ? sliceEnd(bytes, start + sliceBytes) : size;
        appendSlice(bytes, start, end);
        if (end == size)
            break;
        // The last slice stays in the buffer, where the text format's row end can trim it.
        out.written();
        start = end;
    }
    if (quoted)
        buffer += '"';
    return size <= sliceBytes;
}

void RecordWriter::appendSlice(const char *bytes, int start, int end)
{
    QByteArray &buffer = out.buffer();
    const char *slice = bytes + start;
    const int length = end - start;
    // Within CSV's quotes a comma needs nothing more.
    if (isPlain(slice, length)
        && (format == Text || format == Tsv
            || (!holds(slice, length, '"') && (format != Jsonl || !holds(slice, length, '\\'))))) {
        buffer.append(slice, length);
        return;
    }
    const QString text = decodeSlice(bytes, start, end);
    switch (format) {
    case Text:
    case Tsv:
    case List:
    case Paths:
        buffer += cleanText(text).toUtf8();
        break;
    case Csv:
        buffer += csvEscaped(text);
        break;
    case Jsonl:
        buffer += jsonEscaped(text);
        break;
    }
}

void RecordWriter::appendCell(const QString &text)
{
    QByteArray &buffer = out.buffer();
    switch (format) {
    case Csv:
        appendCsv(buffer, text);
        break;
    case Jsonl:
        buffer += '"' + jsonEscaped(text) + '"';
        break;
    default:
        buffer += text.toUtf8();
    }
}

void RecordWriter::endRow()
{
    if (format == Text)
        chopSpaces(out.buffer());
    if (lineColor) {
        out.buffer() += noColor;
        lineColor = nullptr;
    }
    out.buffer() += format == Csv ? "\r\n" : "\n";
    out.written();
}

void RecordWriter::writeHeader(const QStringList &names)
{
    if (!headerRow)
        return;
    for (int i = 0; i < names.size(); ++i) {
        if (i > 0)
            out.buffer() += separator[format];
        appendCell(names.at(i));
    }
    endRow();
}

void RecordWriter::writeListLine(const Reference &record)
{
    QByteArray &buffer = out.buffer();
    buffer.append(record.path.constData(), record.path.size());
    const ByteString &fields = record.fields.text();
    // A tab after the path keeps a record that is its path alone when that path is empty (the line
    // would be empty) or ends with a CR (which the line's end would take).
    if (!fields.isEmpty() || record.path.isEmpty() || record.path.back() == '\r')
        buffer += '\t';
    buffer.append(fields.constData(), fields.size());
    buffer += '\n';
    out.written();
}

void RecordWriter::writeRecords(const std::vector<const Reference *> &records)
{
    if (format == List) {
        // A datarefs list is told by its first line; a commands list by a first line that does not
        // begin with "2", which its first record may.
        if (kind == DataRefs)
            out.buffer() += (listHeader.isEmpty() ? QByteArray("2") : listHeader) + '\n';
        else if (!records.empty() && records.front()->path.startsWith("2"))
            out.buffer() += '\n';
        for (const Reference *record : records) {
            if (!out.ok())
                return;
            writeListLine(*record);
        }
        return;
    }
    if (format == Jsonl || format == Paths) {
        for (const Reference *record : records) {
            if (!out.ok())
                return;
            if (format == Jsonl) {
                writeJson(nullptr, *record);
            } else {
                out.buffer().append(record->path.constData(), record->path.size()) += '\n';
                out.written();
            }
        }
        return;
    }
    QStringList names;
    for (int column = 0; column < columns; ++column)
        names << columnName(kind, column);
    if (format != Text) {
        writeHeader(names);
        for (const Reference *record : records) {
            if (!out.ok())
                return;
            writeRow(nullptr, *record, nullptr);
        }
        return;
    }

    // People are told that nothing was found by the exit status, not by a lone header.
    if (records.empty())
        return;
    // Every column but the last is as wide as its widest cell, within bounds.
    std::vector<int> widths(size_t(columns), 0);
    for (int column = 0; column + 1 < columns && headerRow; ++column)
        widths[size_t(column)] = names.at(column).size();
    for (const Reference *record : records) {
        const std::vector<Cell> &row = cellsOf(*record);
        for (int column = 0; column + 1 < columns; ++column) {
            const int width = std::min(widthOf(row[size_t(column)].bytes, row[size_t(column)].size), maxTextWidth);
            widths[size_t(column)] = std::max(widths[size_t(column)], width);
        }
    }
    QList<QByteArray> header;
    std::vector<Cell> headerCells;
    for (const QString &name : names) {
        header << name.toUtf8();
        headerCells.push_back({header.last().constData(), header.last().size()});
    }
    if (headerRow)
        writeTextRow(headerCells, widths);
    for (const Reference *record : records) {
        if (!out.ok())
            return;
        writeTextRecord(*record, widths);
    }
}

void RecordWriter::writeTextRecord(const Reference &record, const std::vector<int> &widths)
{
    writeTextRow(cellsOf(record), widths);
}

void RecordWriter::writeTextRow(const std::vector<Cell> &row, const std::vector<int> &widths)
{
    QByteArray &buffer = out.buffer();
    for (size_t column = 0; column < row.size(); ++column) {
        if (column > 0)
            buffer += "  ";
        const int start = buffer.size();
        // A cell written in slices is wider than any column, and shows no marks.
        const bool whole = color && marked && row[column].size <= sliceBytes;
        const int codes = whole ? appendMarked(row[column], column == 0) : 0;
        if ((whole || appendCell(row[column])) && column + 1 < size_t(columns)) {
            const int width = utf8Width(buffer.constData() + start, buffer.size() - start) - codes;
            buffer += QByteArray(std::max(widths[column] - width, 0), ' ');
        }
    }
    endRow();
}

int RecordWriter::appendMarked(const Cell &cell, bool isPath)
{
    const int size = lengthToNul(cell.bytes, cell.size);
    // Where each text is found, overlapping or not.
    std::vector<std::pair<int, int>> found;
    for (const ReferenceMatcher &matcher : *marked) {
        if (!isPath && !matcher.looksInFields())
            continue;
        const char *end = cell.bytes + size;
        for (const char *at = matcher.find(cell.bytes, end); at != end; at = matcher.find(at + 1, end))
            found.emplace_back(int(at - cell.bytes), int(at - cell.bytes) + matcher.length());
    }
    if (found.empty()) {
        appendCell(cell);
        return 0;
    }
    std::sort(found.begin(), found.end());
    // The marks start and end where a UTF-8 sequence does, so that each piece decodes as it does in
    // the whole cell.
    QByteArray &buffer = out.buffer();
    int codes = 0;
    int from = 0;
    for (size_t i = 0; i < found.size();) {
        int start = found[i].first;
        int end = found[i].second;
        for (++i; i < found.size() && found[i].first <= end; ++i)
            end = std::max(end, found[i].second);
        start = std::max(sliceEnd(cell.bytes, start), from);
        end = sliceEnd(cell.bytes, end);
        if (end <= start)
            continue;
        appendSlice(cell.bytes, from, start);
        buffer += foundColor;
        appendSlice(cell.bytes, start, end);
        buffer += noColor;
        codes += int(std::strlen(foundColor) + std::strlen(noColor));
        from = end;
    }
    appendSlice(cell.bytes, from, size);
    return codes;
}

void RecordWriter::writeRow(const char *change, const Reference &record, const std::vector<int> *changed)
{
    QByteArray &buffer = out.buffer();
    if (change) {
        appendCell(QString::fromLatin1(change));
        buffer += separator[format];
    }
    const std::vector<Cell> &row = cellsOf(record);
    for (int column = 0; column < columns; ++column) {
        if (column > 0)
            buffer += separator[format];
        appendCell(row[size_t(column)]);
    }
    if (change) {
        QStringList names;
        if (changed) {
            for (const int column : *changed)
                names << columnName(kind, column);
        }
        buffer += separator[format];
        appendCell(names.join(QLatin1String(", ")));
    }
    for (size_t extra = size_t(columns); extra < row.size(); ++extra) {
        buffer += separator[format];
        appendCell(row[extra]);
    }
    endRow();
}

void RecordWriter::appendJsonFields(const Reference &record)
{
    QByteArray &buffer = out.buffer();
    const std::vector<Cell> &row = cellsOf(record);
    for (int column = 1; column < columns; ++column) {
        if (column > 1)
            buffer += ',';
        buffer += '"' + jsonKey(kind, column) + "\":";
        appendCell(row[size_t(column)]);
    }
    if (row.size() > size_t(columns)) {
        buffer += ",\"extra\":[";
        for (size_t extra = size_t(columns); extra < row.size(); ++extra) {
            if (extra > size_t(columns))
                buffer += ',';
            appendCell(row[extra]);
        }
        buffer += ']';
    }
}

void RecordWriter::writeJson(const char *change, const Reference &record)
{
    QByteArray &buffer = out.buffer();
    buffer += '{';
    if (change)
        buffer += QByteArray("\"change\":\"") + change + "\",";
    buffer += "\"path\":";
    appendCell(record.path.constData(), record.path.size());
    buffer += ',';
    appendJsonFields(record);
    buffer += "}\n";
    out.written();
}

void RecordWriter::setVersions(const QByteArray &oldLine, const QByteArray &newLine)
{
    oldVersion = oldLine;
    newVersion = newLine;
}

// "version: 2 1041 Thu Jan 21 10:14:22 2021 -> 2 1210 Wed Mar 25 18:29:27 2026"
void RecordWriter::writeVersionChange()
{
    if (format != Text || !headerRow)
        return;
    out.buffer() += "version: ";
    appendCell(oldVersion.constData(), oldVersion.size());
    out.buffer() += " -> ";
    appendCell(newVersion.constData(), newVersion.size());
    endRow();
}

void RecordWriter::appendJsonOrNull(const QByteArray &text)
{
    if (text.isEmpty())
        out.buffer() += "null";
    else
        appendCell(text.constData(), text.size());
}

void RecordWriter::writeDiffHeader()
{
    if (format == Text || format == Jsonl)
        return;
    QStringList names {QStringLiteral("Change")};
    for (int column = 0; column < columns; ++column)
        names << columnName(kind, column);
    names << QStringLiteral("Changed columns");
    writeHeader(names);
}

void RecordWriter::writeAdded(const Reference &record)
{
    writeWhole("added", "+ ", record);
}

void RecordWriter::writeRemoved(const Reference &record)
{
    writeWhole("removed", "- ", record);
}

void RecordWriter::writeWhole(const char *change, const char *mark, const Reference &record)
{
    if (format == Jsonl)
        return writeJson(change, record);
    if (format != Text)
        return writeRow(change, record, nullptr);
    if (color) {
        lineColor = *mark == '+' ? addedColor : removedColor;
        out.buffer() += lineColor;
    }
    out.buffer() += mark;
    writeTextRecord(record, std::vector<int>(size_t(columns), 0));
}

void RecordWriter::writeChanged(const Reference &oldRecord, const Reference &newRecord,
                                const std::vector<int> &changed)
{
    QByteArray &buffer = out.buffer();
    if (format == Tsv || format == Csv) {
        writeRow("old", oldRecord, &changed);
        writeRow("new", newRecord, &changed);
        return;
    }
    if (format == Jsonl) {
        buffer += "{\"change\":\"changed\",\"path\":";
        appendCell(newRecord.path.constData(), newRecord.path.size());
        buffer += ",\"columns\":[";
        for (size_t i = 0; i < changed.size(); ++i)
            buffer += (i > 0 ? ",\"" : "\"") + jsonKey(kind, changed[i]) + '"';
        buffer += "],\"old\":{";
        appendJsonFields(oldRecord);
        buffer += "},\"new\":{";
        appendJsonFields(newRecord);
        buffer += "}}\n";
        out.written();
        return;
    }
    // "~ path  Type: float -> double; Units: "" -> m"
    if (color) {
        lineColor = changedColor;
        buffer += lineColor;
    }
    buffer += "~ ";
    appendCell(newRecord.path.constData(), newRecord.path.size());
    for (size_t i = 0; i < changed.size(); ++i) {
        const int column = changed[i];
        buffer += i == 0 ? "  " : "; ";
        buffer += columnName(kind, column).toUtf8() + ": ";
        for (const Reference *record : {&oldRecord, &newRecord}) {
            const std::vector<Cell> &row = cellsOf(*record);
            // The cells of the column, two blanks apart once one shows something; "" when none does.
            bool shown = false;
            for (size_t cell = size_t(column); cell < (column < columns ? size_t(column) + 1 : row.size()); ++cell) {
                if (shown)
                    buffer += "  ";
                const int start = buffer.size();
                shown = !appendCell(row[cell]) || buffer.size() > start || shown;
            }
            if (!shown)
                buffer += "\"\"";
            if (record == &oldRecord)
                buffer += " -> ";
        }
    }
    endRow();
}

void RecordWriter::writeDiffCounts(qint64 added, qint64 removed, qint64 changed, bool alone)
{
    QByteArray &buffer = out.buffer();
    if (format == Text) {
        buffer += QByteArray::number(added) + " added, " + QByteArray::number(removed) + " removed, "
            + QByteArray::number(changed) + " changed";
        endRow();
        return;
    }
    if (!alone)
        return;
    if (format == Jsonl) {
        buffer += "{\"added\":" + QByteArray::number(added) + ",\"removed\":" + QByteArray::number(removed)
            + ",\"changed\":" + QByteArray::number(changed) + ",\"old_version\":";
        appendJsonOrNull(oldVersion);
        buffer += ",\"new_version\":";
        appendJsonOrNull(newVersion);
        buffer += "}\n";
        out.written();
        return;
    }
    writeHeader({QStringLiteral("Added"), QStringLiteral("Removed"), QStringLiteral("Changed")});
    const char *sep = separator[format];
    buffer += QByteArray::number(added) + sep + QByteArray::number(removed) + sep + QByteArray::number(changed);
    endRow();
}

void RecordWriter::writeValueHeader()
{
    if (format == Tsv || format == Csv)
        writeHeader({columnName(DataRefs, 0), QStringLiteral("Value")});
}

void RecordWriter::writeValue(const QByteArray &name, const QByteArray &json, const QByteArray &text, int nameWidth,
                              double time)
{
    QByteArray &buffer = out.buffer();
    if (format == Jsonl) {
        buffer += "{\"path\":";
        appendCell(name.constData(), name.size());
        buffer += ",\"value\":" + json;
        if (time >= 0)
            buffer += ",\"time\":" + QByteArray::number(time, 'f', 3);
        buffer += "}\n";
        out.written();
        return;
    }
    const int start = buffer.size();
    appendCell(name.constData(), name.size());
    if (format == Text)
        buffer += QByteArray(std::max(nameWidth - utf8Width(buffer.constData() + start, buffer.size() - start), 0), ' ');
    buffer += separator[format];
    appendCell(text.constData(), text.size());
    endRow();
}
