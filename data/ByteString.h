#pragma once

#include <QByteArray>

// Bytes of a reference file, never changed once made. A loaded list keeps the bytes of all its
// records in one buffer, and each ByteString is a view into it that keeps it alive, so a record
// copied out of its list may outlive the list. Bytes given as a QByteArray are shared with it.
class ByteString
{
public:
    ByteString() = default;
    // Implicit, as a byte array is a byte string: `record.path = "Not found"` reads as it should.
    ByteString(const QByteArray &bytes);
    ByteString(const char *text);
    // The size bytes at offset of storage, which must hold them.
    ByteString(const QByteArray &storage, int offset, int size);

    const char *constData() const { return storage.constData() + offset; }
    int size() const { return length; }
    bool isEmpty() const { return length == 0; }
    char front() const { return constData()[0]; }
    char back() const { return constData()[length - 1]; }
    // The bytes of the buffer this string keeps alive.
    int capacity() const { return storage.capacity(); }

    bool contains(char c) const;
    bool contains(const QByteArray &text) const;
    bool startsWith(const QByteArray &prefix) const;
    // The bytes from position on, count of them or all that are left when count is negative.
    ByteString mid(int position, int count = -1) const;
    // The bytes as a byte array of their own, or the shared one they came from.
    QByteArray toByteArray() const;

private:
    QByteArray storage;
    int offset = 0;
    int length = 0;
};

// Byte by byte, as unsigned bytes; a proper prefix comes first.
int compareBytes(const char *a, int aSize, const char *b, int bSize);

inline bool operator==(const ByteString &a, const ByteString &b)
{
    return compareBytes(a.constData(), a.size(), b.constData(), b.size()) == 0;
}
inline bool operator!=(const ByteString &a, const ByteString &b)
{
    return !(a == b);
}
inline bool operator<(const ByteString &a, const ByteString &b)
{
    return compareBytes(a.constData(), a.size(), b.constData(), b.size()) < 0;
}
inline bool operator==(const ByteString &a, const QByteArray &b)
{
    return compareBytes(a.constData(), a.size(), b.constData(), b.size()) == 0;
}
inline bool operator==(const QByteArray &a, const ByteString &b)
{
    return b == a;
}
inline bool operator==(const ByteString &a, const char *b)
{
    return a == QByteArray::fromRawData(b, int(qstrlen(b)));
}
