#pragma once

#include "data/ReferenceList.h"

#include <functional>
#include <vector>

// What changed from one list to another of the same kind, paired by path: a path only in the new
// list is added, only in the old one removed, and in both with other fields changed. A path that
// occurs more than once in a list is compared as the set of its records: the records both lists
// have drop out, and the rest pair up as changes, in order, with any left over added or removed.
class ListDiff
{
public:
    enum ChangeKind { Added, Removed, Changed };
    struct Change
    {
        ChangeKind kind;
        const Reference *oldRecord; // null when added
        const Reference *newRecord; // null when removed
    };

    // The lists stay where they are while this lives.
    ListDiff(const ReferenceList &oldList, const ReferenceList &newList);

    // Calls visit for every change, in path order, until it returns false.
    void compare(const std::function<bool(const Change &)> &visit) const;

    // The columns in which two records of a kind differ, in order: 1 for the first field and so on;
    // ItemColumns::count(kind) stands for the fields beyond the columns.
    static std::vector<int> changedColumns(int32_t kind, const Reference &a, const Reference &b);

private:
    const ReferenceList &oldList;
    const ReferenceList &newList;
};
