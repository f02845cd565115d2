#pragma once

#include "data/ByteString.h"
#include "data/FieldList.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

// Display text of bytes from a reference file: UTF-8, ending at the first NUL byte.
QString decodeText(const char *bytes, int size);
QString decodeText(const QByteArray &bytes);
QString decodeText(const ByteString &bytes);

// What a view shows of a cell: at most displayLimit characters, the last of them "…" when the text
// goes on. A view lays out every character it is given to size its rows, so one line of megabytes
// would hold the window for a minute; the record keeps the whole text for the Ref field, copying
// and search.
constexpr int displayLimit = 1000;
QString displayText(const QString &text);
// The same for bytes from a reference file, of which only the beginning is decoded.
QString displayText(const char *bytes, int size);
QString displayText(const QByteArray &bytes);
QString displayText(const ByteString &bytes);

// One line of a reference list: the path and the tab-separated columns after it, as read.
class Reference
{
public:
    // Returns false for an empty line and then leaves the record as it was. The record keeps a copy
    // of the bytes it needs, so the line may go.
    bool parse(const QByteArray &line);

    ByteString path;
    FieldList fields;
};

enum ReferenceKind : int32_t { DataRefs = 0, Commands = 1 };

// The records of one reference file, sorted by path, and which kind of list the file is. A loaded
// list holds the bytes of its records in a few large buffers, in sorted order; the records are
// views into them, and every copy of a record keeps its buffer alive.
class ReferenceList
{
public:
    // fileName is a path as encodeName gives it. Returns false, with no records and kind unchanged,
    // when the name is not a regular file that can be read.
    bool load(const QByteArray &fileName);
    // As load, but only the lines that hold text somewhere become records (the first line still
    // tells the kind), so a search of a large file costs its scan and the sort of what it may find;
    // matching then applies the rule. An empty text keeps no record. With ignoreCase, ASCII letters
    // of the text match either case.
    bool loadContaining(const QByteArray &fileName, const QByteArray &text, bool ignoreCase = false);
    // The 8-bit name of a path that load opens, for a path in any script: the file system's own
    // encoding on Unix systems; UTF-8 on Windows, where the system's 8-bit code page would lose
    // every character it lacks.
    static QByteArray encodeName(const QString &path);
    // Replaces the records with those of the bytes of a whole file, read as load reads them.
    void parse(const QByteArray &content);

    // The records that ReferenceMatcher finds text in, in list order. A linear scan: nothing is kept
    // from one call to the next.
    std::vector<const Reference *> matching(const QByteArray &text) const;

    // A line is held whole while it is read, and its record's bytes in one buffer, whose sizes
    // count in int: no line may be longer than this, and a load refuses lines this long or longer.
    static constexpr qint64 maxLineLength = qint64(1) << 30;

    std::vector<Reference> references;
    int32_t kind = DataRefs;
    // The first line of a datarefs list, which names the simulator's version ("2 1210 Wed Mar 25
    // 18:29:27 2026"), without its line end; empty for a commands list.
    QByteArray header;
    // Whether the last load ended early, at a read error or at a line of lineLimit bytes or more
    // (the line feed not counted), wherever in the file it starts; the records are then those of
    // the lines before it.
    bool incomplete = false;
    // Whether the file's size or modification time differed after the last load from what they
    // were when it was opened: what was read may then be no state the file ever had.
    bool changed = false;
    // The length from which a line ends the reading of load, loadContaining and parse; at most
    // maxLineLength.
    qint64 lineLimit = maxLineLength;
};
