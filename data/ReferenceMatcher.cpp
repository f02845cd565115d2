#include "data/ReferenceMatcher.h"

#include "data/ReferenceList.h"

#include <algorithm>
#include <cstring>
#include <functional>

ReferenceMatcher::ReferenceMatcher(const QByteArray &text, bool pathOnly)
    : text(text)
    , inFields(!pathOnly && !text.contains('\t'))
{
}

bool ReferenceMatcher::matches(const Reference &record) const
{
    return isIn(record.path) || (inFields && isIn(record.fields.text()));
}

// Paths and fields are short: the first byte is looked for with memchr, and only there the rest.
bool ReferenceMatcher::isIn(const char *bytes, int size) const
{
    const int length = text.size();
    if (length == 0 || size < length)
        return false;
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

bool ReferenceMatcher::isIn(const ByteString &bytes) const
{
    return isIn(bytes.constData(), bytes.size());
}

// Over a whole file the first byte is too common a guide ("s" of "sim/"): the C library's search,
// where there is one, skips ahead by what it has seen, as grep does.
const char *ReferenceMatcher::find(const char *begin, const char *end, const QByteArray &text)
{
    if (text.isEmpty() || end - begin < text.size())
        return end;
#ifdef __GLIBC__
    const void *found = memmem(begin, size_t(end - begin), text.constData(), size_t(text.size()));
    return found ? static_cast<const char *>(found) : end;
#else
    return std::search(begin, end,
                       std::boyer_moore_horspool_searcher<const char *>(text.constData(),
                                                                        text.constData() + text.size()));
#endif
}
