#include "data/FieldList.h"

#include <cstring>

FieldList::const_iterator::const_iterator(const FieldList *list, int start)
    : list(list)
    , start(start)
{
    // Empty pieces are no fields: start at the first byte that is not a tab.
    const char *bytes = list->pieces.constData();
    const int size = list->pieces.size();
    while (this->start < size && bytes[this->start] == '\t')
        ++this->start;
}

int FieldList::const_iterator::pieceEnd() const
{
    const char *bytes = list->pieces.constData();
    const int size = list->pieces.size();
    const void *tab = std::memchr(bytes + start, '\t', size_t(size - start));
    return tab ? int(static_cast<const char *>(tab) - bytes) : size;
}

ByteString FieldList::const_iterator::operator*() const
{
    return list->pieces.mid(start, pieceEnd() - start);
}

FieldList::const_iterator &FieldList::const_iterator::operator++()
{
    *this = const_iterator(list, pieceEnd());
    return *this;
}

FieldList::FieldList(const QList<QByteArray> &fields)
{
    QByteArray joined;
    for (const QByteArray &field : fields) {
        if (field.isEmpty())
            continue;
        if (!joined.isEmpty())
            joined += '\t';
        joined += field;
    }
    pieces = ByteString(joined);
}

FieldList FieldList::fromText(ByteString text)
{
    FieldList list;
    list.pieces = std::move(text);
    return list;
}

int FieldList::size() const
{
    int count = 0;
    for (auto it = begin(); it != end(); ++it)
        ++count;
    return count;
}

ByteString FieldList::at(int index) const
{
    return value(index);
}

ByteString FieldList::value(int index) const
{
    if (index < 0)
        return ByteString();
    for (auto it = begin(); it != end(); ++it) {
        if (index-- == 0)
            return *it;
    }
    return ByteString();
}

ByteString FieldList::last() const
{
    ByteString result;
    for (auto it = begin(); it != end(); ++it)
        result = *it;
    return result;
}

QList<QByteArray> FieldList::toList() const
{
    QList<QByteArray> list;
    for (auto it = begin(); it != end(); ++it)
        list.append((*it).toByteArray());
    return list;
}

bool operator==(const FieldList &a, const FieldList &b)
{
    auto left = a.begin();
    auto right = b.begin();
    for (; left != a.end() && right != b.end(); ++left, ++right) {
        if (*left != *right)
            return false;
    }
    return left == a.end() && right == b.end();
}

bool operator==(const FieldList &a, const QList<QByteArray> &b)
{
    auto left = a.begin();
    for (const QByteArray &field : b) {
        if (field.isEmpty())
            continue; // empty entries are no fields
        if (left == a.end())
            return false;
        const ByteString piece = *left;
        if (compareBytes(piece.constData(), piece.size(), field.constData(), field.size()) != 0)
            return false;
        ++left;
    }
    return left == a.end();
}
