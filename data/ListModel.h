#pragma once

#include <QAbstractItemModel>

class ReferenceList;

// A reference list as a flat list numbered from 1. Every index carries its Reference as internal
// pointer, read in place, so the list must outlive the model and stay unchanged while it is shown.
class ListModel : public QAbstractItemModel
{
    Q_OBJECT

public:
    explicit ListModel(const ReferenceList *list);
    ~ListModel() override;

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
};
