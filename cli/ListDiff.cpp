#include "cli/ListDiff.h"

#include "data/ItemColumns.h"

#include <algorithm>

namespace {

// Orders field lists field by field, so that equal ones sit together.
int compareFields(const FieldList &a, const FieldList &b)
{
    auto left = a.begin();
    auto right = b.begin();
    for (; left != a.end() && right != b.end(); ++left, ++right) {
        const ByteString x = *left;
        const ByteString y = *right;
        if (const int order = compareBytes(x.constData(), x.size(), y.constData(), y.size()))
            return order;
    }
    return (left != a.end()) - (right != b.end());
}

bool fieldsLess(const Reference *a, const Reference *b)
{
    return compareFields(a->fields, b->fields) < 0;
}

// The records of one path, each distinct set of fields once, in field order.
std::vector<const Reference *> distinctRecords(const std::vector<Reference> &records, size_t begin, size_t end)
{
    std::vector<const Reference *> distinct;
    for (size_t i = begin; i < end; ++i)
        distinct.push_back(&records[i]);
    std::sort(distinct.begin(), distinct.end(), fieldsLess);
    distinct.erase(std::unique(distinct.begin(), distinct.end(),
                               [](const Reference *a, const Reference *b) { return a->fields == b->fields; }),
                   distinct.end());
    return distinct;
}

// Where the records of the path at begin end.
size_t pathEnd(const std::vector<Reference> &records, size_t begin)
{
    size_t end = begin + 1;
    while (end < records.size() && records[end].path == records[begin].path)
        ++end;
    return end;
}

} // namespace

ListDiff::ListDiff(const ReferenceList &oldList, const ReferenceList &newList)
    : oldList(oldList)
    , newList(newList)
{
}

void ListDiff::compare(const std::function<bool(const Change &)> &visit) const
{
    const std::vector<Reference> &olds = oldList.references;
    const std::vector<Reference> &news = newList.references;
    size_t i = 0;
    size_t j = 0;
    while (i < olds.size() || j < news.size()) {
        const int order = i == olds.size() ? 1
            : j == news.size()             ? -1
                                           : compareBytes(olds[i].path.constData(), olds[i].path.size(),
                                                          news[j].path.constData(), news[j].path.size());
        const size_t oldEnd = order <= 0 ? pathEnd(olds, i) : i;
        const size_t newEnd = order >= 0 ? pathEnd(news, j) : j;
        // One record a side is by far the most common case, and needs no sets.
        if (oldEnd - i == 1 && newEnd - j == 1) {
            if (!(olds[i].fields == news[j].fields) && !visit({Changed, &olds[i], &news[j]}))
                return;
        } else {
            const std::vector<const Reference *> before = distinctRecords(olds, i, oldEnd);
            const std::vector<const Reference *> after = distinctRecords(news, j, newEnd);
            std::vector<const Reference *> gone;
            std::vector<const Reference *> come;
            std::set_difference(before.begin(), before.end(), after.begin(), after.end(), std::back_inserter(gone),
                                fieldsLess);
            std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(come),
                                fieldsLess);
            const size_t paired = std::min(gone.size(), come.size());
            for (size_t k = 0; k < paired; ++k) {
                if (!visit({Changed, gone[k], come[k]}))
                    return;
            }
            for (size_t k = paired; k < gone.size(); ++k) {
                if (!visit({Removed, gone[k], nullptr}))
                    return;
            }
            for (size_t k = paired; k < come.size(); ++k) {
                if (!visit({Added, nullptr, come[k]}))
                    return;
            }
        }
        i = oldEnd;
        j = newEnd;
    }
}

std::vector<int> ListDiff::changedColumns(int32_t kind, const Reference &a, const Reference &b)
{
    const int columns = ItemColumns::count(kind);
    std::vector<int> changed;
    // Both field lists in one walk; a list that has ended reads as empty fields, and fields are
    // never empty, so an empty one differs from any field.
    auto left = a.fields.begin();
    auto right = b.fields.begin();
    const auto leftEnd = a.fields.end();
    const auto rightEnd = b.fields.end();
    for (int field = 0; left != leftEnd || right != rightEnd; ++field) {
        const ByteString x = left != leftEnd ? *left : ByteString();
        const ByteString y = right != rightEnd ? *right : ByteString();
        if (x != y) {
            // Every field beyond the columns counts as one column.
            changed.push_back(std::min(field + 1, columns));
            if (field + 1 >= columns)
                break;
        }
        if (left != leftEnd)
            ++left;
        if (right != rightEnd)
            ++right;
    }
    return changed;
}
