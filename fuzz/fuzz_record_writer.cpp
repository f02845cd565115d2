// refscope-cli's formats on any bytes: two lists made of the input, each written in every format,
// and the changes between them. The output is always UTF-8; text and TSV hold no control
// characters but their own; every JSON line is an object; CSV quoting keeps one row a record; the list
// format reads back as the same records; a list compared with itself has no changes.
#include "fuzz/FuzzCheck.h"

#include "cli/ListDiff.h"
#include "cli/Output.h"
#include "cli/RecordWriter.h"
#include "data/ReferenceList.h"
#include "data/ReferenceMatcher.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace {

// The rows of RFC 4180 text: a line break ends a row only outside quotes.
int csvRows(const QByteArray &text)
{
    int rows = 0;
    bool quoted = false;
    for (int i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '"')
            quoted = !quoted; // a doubled quote flips twice
        else if (c == '\n' && !quoted)
            ++rows;
    }
    FUZZ_CHECK(!quoted);
    return rows;
}

// The records as paths and field texts, in an order that does not depend on how the sort placed
// records of one path.
std::vector<std::pair<QByteArray, QByteArray>> recordTexts(const ReferenceList &list)
{
    std::vector<std::pair<QByteArray, QByteArray>> texts;
    for (const Reference &record : list.references)
        texts.emplace_back(record.path.toByteArray(), record.fields.text().toByteArray());
    std::sort(texts.begin(), texts.end());
    return texts;
}

// Whether text holds a character that could break a row or drive a terminal, besides the line
// feeds and the separator the format writes itself (separator, or a line feed for none).
bool holdsControl(const QByteArray &bytes, char separator)
{
    for (const QChar c : QString::fromUtf8(bytes)) {
        const ushort u = c.unicode();
        if ((u < 0x20 && u != '\n' && u != uchar(separator)) || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029)
            return true;
    }
    return false;
}

// Texts found in the records, coloured where found (pieces of a path that may cut a UTF-8
// sequence, either case), add the colour codes to the text format and change nothing else.
bool marksAlone(const std::vector<const Reference *> &records, int32_t kind, const QByteArray &plain)
{
    if (records.empty())
        return true;
    const ByteString &path = records.front()->path;
    std::vector<ReferenceMatcher> matchers;
    matchers.emplace_back(path.mid(path.size() / 3, 2).toByteArray(), false, true);
    matchers.emplace_back(path.mid(path.size() / 2, 1).toByteArray());
    Output out;
    RecordWriter writer(RecordWriter::Text, kind, out);
    writer.setColor(true);
    writer.setMarks(&matchers);
    writer.writeRecords(records);
    return QByteArray(out.captured()).replace("\x1b[1;31m", "").replace("\x1b[m", "") == plain;
}

void writeEvery(const ReferenceList &list)
{
    std::vector<const Reference *> records;
    for (const Reference &record : list.references)
        records.push_back(&record);
    for (const RecordWriter::Format format :
         {RecordWriter::Text, RecordWriter::Tsv, RecordWriter::Csv, RecordWriter::Jsonl, RecordWriter::List,
          RecordWriter::Paths}) {
        Output out;
        RecordWriter(format, list.kind, out).writeRecords(records);
        const QByteArray &bytes = out.captured();
        if (format == RecordWriter::Paths) {
            // A path holds no line feed: one line each.
            FUZZ_CHECK(bytes.count('\n') == int(records.size()));
            continue;
        }
        if (format == RecordWriter::List) {
            // The file itself, its bytes as they were: the loader reads the same records back.
            ReferenceList back;
            back.parse(bytes);
            FUZZ_CHECK(back.kind == list.kind);
            FUZZ_CHECK(recordTexts(back) == recordTexts(list));
            continue;
        }
        FUZZ_CHECK(QString::fromUtf8(bytes).toUtf8() == bytes);
        const int lines = bytes.count('\n');
        switch (format) {
        case RecordWriter::Text:
            FUZZ_CHECK(lines == (records.empty() ? 0 : int(records.size()) + 1));
            FUZZ_CHECK(!holdsControl(bytes, '\n'));
            FUZZ_CHECK(marksAlone(records, list.kind, bytes));
            break;
        case RecordWriter::Tsv:
            FUZZ_CHECK(lines == int(records.size()) + 1 && !holdsControl(bytes, '\t'));
            break;
        case RecordWriter::Csv:
            FUZZ_CHECK(csvRows(bytes) == int(records.size()) + 1);
            break;
        case RecordWriter::Jsonl: {
            FUZZ_CHECK(lines == int(records.size()));
            for (const QByteArray &line : bytes.split('\n')) {
                if (line.isEmpty())
                    continue;
                QJsonParseError error;
                const QJsonDocument document = QJsonDocument::fromJson(line, &error);
                FUZZ_CHECK(error.error == QJsonParseError::NoError && document.isObject());
                FUZZ_CHECK(document.object().contains(QStringLiteral("path")));
            }
            break;
        }
        case RecordWriter::List:
        case RecordWriter::Paths:
            break;
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), int(size));
    // The input holds the old list, then a form feed line, then the new one.
    const int split = content.indexOf("\n\f\n");
    ReferenceList oldList;
    ReferenceList newList;
    oldList.parse(split < 0 ? content : content.left(split));
    newList.parse(split < 0 ? content : content.mid(split + 3));
    writeEvery(oldList);

    ListDiff(oldList, oldList).compare([](const ListDiff::Change &) {
        FUZZ_CHECK(false);
        return false;
    });
    if (oldList.kind != newList.kind)
        return 0;
    Output out;
    RecordWriter writer(RecordWriter::Jsonl, oldList.kind, out);
    ListDiff(oldList, newList).compare([&](const ListDiff::Change &change) {
        FUZZ_CHECK((change.oldRecord != nullptr) == (change.kind != ListDiff::Added));
        FUZZ_CHECK((change.newRecord != nullptr) == (change.kind != ListDiff::Removed));
        if (change.kind == ListDiff::Changed) {
            FUZZ_CHECK(change.oldRecord->path == change.newRecord->path);
            const std::vector<int> columns = ListDiff::changedColumns(oldList.kind, *change.oldRecord, *change.newRecord);
            FUZZ_CHECK(!columns.empty());
            writer.writeChanged(*change.oldRecord, *change.newRecord, columns);
        } else if (change.kind == ListDiff::Added) {
            writer.writeAdded(*change.newRecord);
        } else {
            writer.writeRemoved(*change.oldRecord);
        }
        return true;
    });
    for (const QByteArray &line : out.captured().split('\n')) {
        if (!line.isEmpty())
            FUZZ_CHECK(QJsonDocument::fromJson(line).isObject());
    }
    return 0;
}
