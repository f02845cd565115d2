#include "data/ByteString.h"

#include <algorithm>
#include <cstring>

namespace {

// A byte array that does not own its bytes (made with fromRawData) cannot be kept: it is copied.
QByteArray kept(const QByteArray &bytes)
{
    return bytes.capacity() >= bytes.size() ? bytes : QByteArray(bytes.constData(), bytes.size());
}

} // namespace

ByteString::ByteString(const QByteArray &bytes)
    : storage(kept(bytes))
    , length(bytes.size())
{
}

ByteString::ByteString(const char *text)
    : ByteString(QByteArray(text))
{
}

ByteString::ByteString(const QByteArray &storage, int offset, int size)
    : storage(storage)
    , offset(offset)
    , length(size)
{
}

bool ByteString::contains(char c) const
{
    return length > 0 && std::memchr(constData(), c, size_t(length)) != nullptr;
}

bool ByteString::contains(const QByteArray &text) const
{
    return QByteArray::fromRawData(constData(), length).contains(text);
}

bool ByteString::startsWith(const QByteArray &prefix) const
{
    return prefix.size() <= length
        && std::memcmp(constData(), prefix.constData(), size_t(prefix.size())) == 0;
}

ByteString ByteString::mid(int position, int count) const
{
    position = std::clamp(position, 0, length);
    const int left = length - position;
    return ByteString(storage, offset + position, count < 0 ? left : std::min(count, left));
}

QByteArray ByteString::toByteArray() const
{
    if (offset == 0 && length == storage.size())
        return storage;
    return QByteArray(constData(), length);
}

int compareBytes(const char *a, int aSize, const char *b, int bSize)
{
    const int order = std::memcmp(a, b, size_t(std::min(aSize, bSize)));
    if (order != 0)
        return order;
    return aSize < bSize ? -1 : (aSize > bSize ? 1 : 0);
}
