#pragma once

#include "data/TreeItemT.h"

#include <QByteArray>
#include <QList>
#include <QString>

class ReferenceList;

// A node of the reference tree: one path segment, and the columns of the reference ending here.
class TreeItem : public crv_t::TreeItem<TreeItem>
{
public:
    TreeItem() = default;
    TreeItem(const QString &name, const QList<QByteArray> &fields);
    // The root of the tree of the list's paths, cut at "/".
    explicit TreeItem(const ReferenceList &list);
    ~TreeItem() override;

    TreeItem *createItem() override;

    // The reference path that ends at this node; the root's name is not part of it.
    QString fullPath() const;

    QString name;
    QList<QByteArray> fields;
};
