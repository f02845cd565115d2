#include "data/Reference.h"

#include <algorithm>
#include <cstring>

namespace {

bool isTrimmed(char c)
{
    return c == ' ' || c == '\t' || c == '\f' || c == '\v' || c == '\r' || c == '\n';
}

} // namespace

QString decodeText(const QByteArray &bytes)
{
    const void *nul = std::memchr(bytes.constData(), '\0', size_t(bytes.size()));
    const int length = nul ? int(static_cast<const char *>(nul) - bytes.constData()) : bytes.size();
    return QString::fromUtf8(bytes.constData(), length);
}

bool Reference::parse(const QByteArray &line)
{
    if (line.isEmpty())
        return false;
    path.clear();
    fields.clear();

    const char *begin = line.constData();
    const char *end = begin + line.size();
    const char *separator = begin;
    while (separator != end && *separator != ' ' && *separator != '\t')
        ++separator;
    if (separator == end) {
        // A deep copy: the line may be a view into the loader's buffer.
        path = QByteArray(begin, line.size());
        return true;
    }
    path = QByteArray(begin, int(separator - begin));

    const char *rest = separator + 1;
    while (rest != end && isTrimmed(*rest))
        ++rest;
    while (end != rest && isTrimmed(end[-1]))
        --end;
    // Room for every piece at once: growing the list piece by piece costs a loaded file dearly.
    if (rest != end)
        fields.reserve(int(std::count(rest, end, '\t')) + 1);
    while (rest != end) {
        const char *tab = static_cast<const char *>(std::memchr(rest, '\t', size_t(end - rest)));
        const char *pieceEnd = tab ? tab : end;
        if (pieceEnd != rest)
            fields.append(QByteArray(rest, int(pieceEnd - rest)));
        rest = tab ? tab + 1 : end;
    }
    return true;
}
