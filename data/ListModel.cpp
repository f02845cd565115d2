#include "data/ListModel.h"

#include "data/ItemColors.h"
#include "data/ItemColumns.h"
#include "data/ReferenceList.h"

ListModel::ListModel(const ReferenceList *list)
    : list(list)
{
}

ListModel::~ListModel() = default;

QModelIndex ListModel::index(int row, int column, const QModelIndex &parent) const
{
    if (parent.isValid() || row < 0 || column < 0 || row >= rowCount() || column >= columnCount())
        return QModelIndex();
    // Views get no write access through the pointer; the cast only satisfies createIndex.
    return createIndex(row, column, const_cast<Reference *>(&list->references[size_t(row)]));
}

QModelIndex ListModel::parent(const QModelIndex &) const
{
    return QModelIndex();
}

// Rows have no children, so only the invisible root counts rows.
int ListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() || !list)
        return 0;
    return int(list->references.size());
}

int ListModel::columnCount(const QModelIndex &) const
{
    return ItemColumns::count(list ? list->kind : -1);
}

bool ListModel::hasChildren(const QModelIndex &parent) const
{
    return !parent.isValid();
}

QVariant ListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const Reference *record = static_cast<const Reference *>(index.internalPointer());
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
        if (column == 0)
            return QString::number(index.row() + 1) + QLatin1String(" - ") + displayText(record->path);
        if (column <= record->fields.size())
            return displayText(record->fields.at(column - 1));
        return QVariant();
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::ForegroundRole:
        return column == 0 ? ItemColors::leafColor() : ItemColors::branchColor();
    default:
        return QVariant();
    }
}

QVariant ListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return ItemColumns::headerText(list ? list->kind : -1, section);
}

Qt::ItemFlags ListModel::flags(const QModelIndex &) const
{
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}
