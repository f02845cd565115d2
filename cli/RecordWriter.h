#pragma once

#include "data/ReferenceList.h"
#include "data/ReferenceMatcher.h"

#include <QByteArray>
#include <QStringList>

#include <cstdint>
#include <vector>

class Output;

// Writes records of one kind of list in one of the command line's formats: aligned text for
// people, TSV and CSV with a header row of the column names, or JSON Lines. Text is decoded as the
// window decodes it (UTF-8 up to a NUL, invalid sequences replaced), so CSV and JSON stay valid
// whatever bytes a file holds; in text and TSV a control character (C0, C1, DEL) and the line and
// paragraph separators show as U+FFFD, as they could break a row or drive the terminal. A cell of
// any size is written in slices, in bounded memory. The list format is the reference-list file
// itself, byte for byte as the loader reads it back; the paths format is the paths alone, their
// bytes as the list holds them. Text may be coloured for a terminal.
class RecordWriter
{
public:
    enum Format { Text, Tsv, Csv, Jsonl, List, Paths };
    // The format named by name, or false.
    static bool parseFormat(const QByteArray &name, Format *format);

    RecordWriter(Format format, int32_t kind, Output &out);

    // The records with the header row of the format; the text format aligns their columns.
    void writeRecords(const std::vector<const Reference *> &records);
    // The first line of a datarefs list in the list format, which begins with "2"; "2" when empty.
    void setListHeader(const QByteArray &line) { listHeader = line; }
    // Without the header rows of text, tsv and csv, and the version line of a comparison.
    void setHeaderRow(bool on) { headerRow = on; }
    // Colours in the text format: a comparison's lines by their change, and in records where the
    // texts of matchers are found, as setMarks asks.
    void setColor(bool on) { color = on && format == Text; }
    // The matchers whose texts are coloured where found in the cells, when colours are on; they
    // stay where they are while this writes.
    void setMarks(const std::vector<ReferenceMatcher> *matchers) { marked = matchers; }

    // Values of a running simulator, one a row: the header row of tsv and csv, then each name as
    // given with its value as JSON and as a person reads it. Text pads names to nameWidth; jsonl
    // adds the seconds since a watch began when time is not negative.
    void writeValueHeader();
    void writeValue(const QByteArray &name, const QByteArray &json, const QByteArray &text, int nameWidth,
                    double time = -1);

    // The lines of a comparison: the first lines of the two lists (their versions), which the text
    // format names when asked to and the counts alone carry in jsonl; the header row, then one
    // entry per change, then the counts.
    void setVersions(const QByteArray &oldLine, const QByteArray &newLine);
    void writeVersionChange();
    void writeDiffHeader();
    void writeAdded(const Reference &record);
    void writeRemoved(const Reference &record);
    // columns are the columns that differ, as ListDiff::changedColumns gives them.
    void writeChanged(const Reference &oldRecord, const Reference &newRecord, const std::vector<int> &columns);
    // The closing line of text, or the counts alone (--stat) in any format.
    void writeDiffCounts(qint64 added, qint64 removed, qint64 changed, bool alone);

    // The column names of a kind of list; a column number past them stands for the extra fields.
    static QString columnName(int32_t kind, int column);
    static QByteArray jsonKey(int32_t kind, int column);

private:
    void writeHeader(const QStringList &names);
    // An added or removed record: its change in the machine formats, its mark in text.
    void writeWhole(const char *change, const char *mark, const Reference &record);
    void writeRow(const char *change, const Reference &record, const std::vector<int> *columns);
    void writeJson(const char *change, const Reference &record);
    void writeTextRecord(const Reference &record, const std::vector<int> &widths);
    // A record's path and fields, then empty cells up to the columns; extra fields beyond them.
    struct Cell
    {
        const char *bytes;
        int size;
    };
    const std::vector<Cell> &cellsOf(const Reference &record);
    // Cells padded to the widths of the columns but the last, two blanks apart.
    void writeTextRow(const std::vector<Cell> &row, const std::vector<int> &widths);
    // Returns false when the cell was long and written out in slices, so that the buffer holds
    // only its end.
    bool appendCell(const char *bytes, int size);
    bool appendCell(const Cell &cell) { return appendCell(cell.bytes, cell.size); }
    // A cell of text with the texts found in it coloured; returns the bytes of the colour codes.
    int appendMarked(const Cell &cell, bool isPath);
    // A JSON string, or null for an empty text.
    void appendJsonOrNull(const QByteArray &text);
    // The bytes from start to end of a cell's text, which must not cut a UTF-8 sequence.
    void appendSlice(const char *bytes, int start, int end);
    void appendCell(const QString &text);
    void appendJsonFields(const Reference &record);
    void endRow();
    void writeListLine(const Reference &record);

    const Format format;
    const int32_t kind;
    const int columns; // path included
    Output &out;
    std::vector<Cell> cells; // of the record being written
    QByteArray listHeader;
    bool headerRow = true;
    bool color = false;
    const std::vector<ReferenceMatcher> *marked = nullptr;
    const char *lineColor = nullptr; // of the row being written, in text
    QByteArray oldVersion;
    QByteArray newVersion;
};
