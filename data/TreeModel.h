#pragma once

#include "data/TreeItem.h"

#include <QAbstractItemModel>

#include <array>
#include <memory>

class ReferenceList;

// A reference list as a tree of path segments, built once and never changed. Every index carries
// its TreeItem as internal pointer.
class TreeModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    // The list is not owned and must outlive the model.
    explicit TreeModel(const ReferenceList *list);
    ~TreeModel() override;

    QModelIndex index(int row, int column, const QModelIndex &parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    bool hasChildren(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;

    using QObject::parent;

    const ReferenceList *list;
    std::unique_ptr<TreeItem> rootItem;

private:
    TreeItem *itemOf(const QModelIndex &index) const;
    int rowOf(const TreeItem *node) const;

    // Where the last row searches among a few sets of siblings ended; only a starting point.
    struct RowHint
    {
        const TreeItem *parent = nullptr;
        size_t row = 0;
    };
    mutable std::array<RowHint, 64> rowHints;
};
