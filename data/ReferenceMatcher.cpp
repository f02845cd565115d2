#include "data/ReferenceMatcher.h"

#include <algorithm>
#include <cstring>
#include <functional>

namespace {

uchar lowerAscii(uchar c)
{
    return uchar(c - 'A') < 26 ? uchar(c | 0x20) : c;
}

QByteArray lowerAscii(QByteArray text)
{
    for (char &c : text)
        c = char(lowerAscii(uchar(c)));
    return text;
}

} // namespace

ReferenceMatcher::ReferenceMatcher(const QByteArray &text, bool pathOnly, bool ignoreCase)
    : text(ignoreCase ? lowerAscii(text) : text)
    , inFields(!pathOnly && !text.contains('\t'))
    , ignoreCase(ignoreCase)
{
    if (!ignoreCase)
        return;
    const int length = this->text.size();
    shift.fill(quint8(std::min(length, 255)));
    for (int i = std::max(length - 256, 0); i + 1 < length; ++i)
        shift[uchar(this->text.at(i))] = quint8(length - 1 - i);
}

// Over a whole file the first byte is too common a guide ("s" of "sim/"): the C library's search,
// where there is one, skips ahead by what it has seen, as grep does.
const char *ReferenceMatcher::find(const char *begin, const char *end) const
{
    if (text.isEmpty() || end - begin < text.size())
        return end;
    if (ignoreCase)
        return findIgnoringCase(begin, end);
#ifdef __GLIBC__
    const void *found = memmem(begin, size_t(end - begin), text.constData(), size_t(text.size()));
    return found ? static_cast<const char *>(found) : end;
#else
    return std::search(begin, end,
                       std::boyer_moore_horspool_searcher<const char *>(text.constData(),
                                                                        text.constData() + text.size()));
#endif
}

// Horspool's search, each byte of the bytes searched taken in lower case.
const char *ReferenceMatcher::findIgnoringCase(const char *begin, const char *end) const
{
    const qint64 length = text.size();
    if (length == 0 || end - begin < length)
        return end;
    const uchar *bytes = reinterpret_cast<const uchar *>(begin);
    const uchar *pattern = reinterpret_cast<const uchar *>(text.constData());
    const uchar lastByte = pattern[length - 1];
    const qint64 last = (end - begin) - length; // the last place the text can start
    for (qint64 at = 0; at <= last;) {
        const uchar c = lowerAscii(bytes[at + length - 1]);
        if (c == lastByte) {
            qint64 i = 0;
            while (i + 1 < length && lowerAscii(bytes[at + i]) == pattern[i])
                ++i;
            if (i + 1 == length)
                return begin + at;
        }
        at += shift[c];
    }
    return end;
}
