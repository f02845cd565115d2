#include "data/ReferenceMatcher.h"

#include <algorithm>
#include <cstring>
#include <functional>

ReferenceMatcher::ReferenceMatcher(const QByteArray &text, bool pathOnly)
    : text(text)
    , inFields(!pathOnly && !text.contains('\t'))
{
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
