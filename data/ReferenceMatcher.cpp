#include "data/ReferenceMatcher.h"

#include <QtAlgorithms>

#include <algorithm>
#include <cstring>
#include <functional>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Each byte of the bytes searched taken in lower case. Sixteen places at a time where SSE2 is
// (every x86-64 processor): where both the first and the last byte of the text may be, either case
// (OR 0x20 makes a letter lower case; for other bytes it is left out), the rest is compared; then
// Horspool's search on what is left.
const char *ReferenceMatcher::findIgnoringCase(const char *begin, const char *end) const
{
    const qint64 length = text.size();
    if (length == 0 || end - begin < length)
        return end;
    const uchar *bytes = reinterpret_cast<const uchar *>(begin);
    const uchar *pattern = reinterpret_cast<const uchar *>(text.constData());
    const uchar lastByte = pattern[length - 1];
    const qint64 last = (end - begin) - length; // the last place the text can start
    const auto matchesAt = [&](qint64 at) {
        for (qint64 i = 0; i + 1 < length; ++i) {
            if (lowerAscii(bytes[at + i]) != pattern[i])
                return false;
        }
        return true;
    };
    qint64 at = 0;
#ifdef __SSE2__
    const auto caseBit = [](uchar c) { return char(uchar(c - 'a') < 26 ? 0x20 : 0); };
    const __m128i first = _mm_set1_epi8(char(pattern[0]));
    const __m128i lastOne = _mm_set1_epi8(char(lastByte));
    const __m128i firstBit = _mm_set1_epi8(caseBit(pattern[0]));
    const __m128i lastBit = _mm_set1_epi8(caseBit(lastByte));
    for (; at + 15 <= last; at += 16) {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes + at + length - 1));
        unsigned places = unsigned(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(starts, firstBit), first),
                          _mm_cmpeq_epi8(_mm_or_si128(ends, lastBit), lastOne))));
        for (; places != 0; places &= places - 1) {
            const qint64 place = at + qCountTrailingZeroBits(places);
            if (matchesAt(place))
                return begin + place;
        }
    }
#endif
    while (at <= last) {
        const uchar c = lowerAscii(bytes[at + length - 1]);
        if (c == lastByte && matchesAt(at))
            return begin + at;
        at += shift[c];
    }
    return end;
}
