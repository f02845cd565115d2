#pragma once

#include "data/FieldList.h"
#include "data/TreeItemT.h"

#include <QString>

class ReferenceList;

// A node of the reference tree: one path segment, and the columns of the reference ending here.
class TreeItem : public crv_t::TreeItem<TreeItem>
{
public:
    TreeItem() = default;
    TreeItem(const QString &name, const FieldList &fields);
    // The root of the tree of the list's paths, cut at "/".
    explicit TreeItem(const ReferenceList &list);
    ~TreeItem() override;

    TreeItem *createItem() override;

    // The reference path that ends at this node; the root's name is not part of it.
    QString fullPath() const;

    // The tree of a list is at most this deep: a path of more segments ends in one node whose name
    // is the rest of the path, slashes included. Views lay out expanded branches level by level on
    // the stack, and a path of tens of thousands of segments would overflow it.
    static constexpr int maxDepth = 1000;

    QString name;
    FieldList fields;
};
