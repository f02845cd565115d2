#pragma once

#include "data/ReferenceList.h"

#include <QByteArray>

#include <array>
#include <cstring>

// The one rule by which a record matches a search text, in the tab and on the command line: its
// path, or one of its fields on its own, holds the text's bytes exactly, so the case and the blanks
// count. An empty text matches nothing. The command line may also ask for ASCII letters to match
// either case; every other byte still matches exactly.
class ReferenceMatcher
{
public:
    // With pathOnly, only the path is looked at.
    explicit ReferenceMatcher(const QByteArray &text, bool pathOnly = false, bool ignoreCase = false);

    bool matches(const Reference &record) const
    {
        return isIn(record.path) || (inFields && isIn(record.fields.text()));
    }
    // Whether bytes hold the text. Paths and fields are short: the first byte is looked for with
    // memchr, and only there the rest. Inline, as a search calls it for every record.
    bool isIn(const char *bytes, int size) const
    {
        const int length = text.size();
        if (length == 0 || size < length)
            return false;
        if (ignoreCase)
            return findIgnoringCase(bytes, bytes + size) != bytes + size;
        const char first = text.at(0);
        const char *last = bytes + (size - length); // the last place the text can start
        for (const char *at = bytes; at <= last; ++at) {
            at = static_cast<const char *>(std::memchr(at, first, size_t(last - at) + 1));
            if (!at)
                return false;
            if (std::memcmp(at + 1, text.constData() + 1, size_t(length - 1)) == 0)
                return true;
        }
        return false;
    }
    bool isIn(const ByteString &bytes) const { return isIn(bytes.constData(), bytes.size()); }

    // Where the text first starts in [begin, end), or end: in a cell, or across a whole file.
    const char *find(const char *begin, const char *end) const;
    int length() const { return text.size(); }
    bool looksInFields() const { return inFields; }

private:
    const char *findIgnoringCase(const char *begin, const char *end) const;

    const QByteArray text; // its letters in lower case when the case is ignored
    // Fields hold no tabs, as they are the pieces between them.
    const bool inFields;
    const bool ignoreCase;
    // How far the text may move on when the byte under its last one is this one (lower case), as
    // Horspool's search has it; at most 255.
    std::array<quint8, 256> shift {};
};
