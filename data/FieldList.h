#pragma once

#include "data/ByteString.h"

#include <QByteArray>
#include <QList>

#include <cstring>
#include <iterator>

// The fields of a reference: the text after its path, trimmed, read as the pieces between its tabs
// with the empty pieces left out. It is kept as that one text, a ByteString, so a record costs no
// allocation per field; the pieces are found when they are asked for.
class FieldList
{
public:
    class const_iterator
    {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ByteString;
        using difference_type = std::ptrdiff_t;
        using pointer = const ByteString *;
        using reference = ByteString;

        ByteString operator*() const;
        const_iterator &operator++();
        bool operator==(const const_iterator &other) const { return start == other.start; }
        bool operator!=(const const_iterator &other) const { return start != other.start; }

    private:
        friend class FieldList;
        const_iterator(const FieldList *list, int start);
        int pieceEnd() const;

        const FieldList *list;
        int start; // of the current piece; the text's size at the end
    };

    FieldList() = default;
    // Implicit, so that a list of byte arrays can be given wherever fields are: its entries joined
    // with tabs, the empty ones left out. An entry that holds a tab reads as two fields.
    FieldList(const QList<QByteArray> &fields);
    // The fields of text, which is already trimmed as the text after a path is.
    static FieldList fromText(ByteString text);

    int size() const;
    bool isEmpty() const { return begin() == end(); }
    // Field index; index must be below size().
    ByteString at(int index) const;
    ByteString operator[](int index) const { return at(index); }
    // Field index, or empty bytes when there is no such field.
    ByteString value(int index) const;
    ByteString first() const { return *begin(); }
    ByteString last() const;
    QList<QByteArray> toList() const;
    // The fields with the tabs between them, as the file had them.
    const ByteString &text() const { return pieces; }
    // Calls visit(bytes, size) for each field in order: the quick walk of a writer, which makes
    // no ByteString of each.
    template<typename Visit> void forEach(Visit visit) const
    {
        const char *bytes = pieces.constData();
        const int size = pieces.size();
        for (int start = 0; start < size;) {
            if (bytes[start] == '\t') {
                ++start;
                continue;
            }
            const void *tab = std::memchr(bytes + start, '\t', size_t(size - start));
            const int end = tab ? int(static_cast<const char *>(tab) - bytes) : size;
            visit(bytes + start, end - start);
            start = end;
        }
    }

    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, pieces.size()); }

private:
    ByteString pieces;
};

bool operator==(const FieldList &a, const FieldList &b);
inline bool operator!=(const FieldList &a, const FieldList &b)
{
    return !(a == b);
}
bool operator==(const FieldList &a, const QList<QByteArray> &b);
