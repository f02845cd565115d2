#pragma once

#include <QByteArray>

class ByteString;
class Reference;

// The one rule by which a record matches a search text, in the tab and on the command line: its
// path, or one of its fields on its own, holds the text's bytes exactly, so the case and the blanks
// count. An empty text matches nothing.
class ReferenceMatcher
{
public:
    // With pathOnly, only the path is looked at.
    explicit ReferenceMatcher(const QByteArray &text, bool pathOnly = false);

    bool matches(const Reference &record) const;
    // Whether bytes hold the text.
    bool isIn(const char *bytes, int size) const;
    bool isIn(const ByteString &bytes) const;

    // Where text first starts in [begin, end), or end.
    static const char *find(const char *begin, const char *end, const QByteArray &text);

private:
    const QByteArray text;
    // Fields hold no tabs, as they are the pieces between them.
    const bool inFields;
};
