#include "data/TreeModel.h"

#include "data/ItemColors.h"
#include "data/ItemColumns.h"
#include "data/ReferenceList.h"

TreeModel::TreeModel(const ReferenceList *list)
    : list(list)
    , rootItem(list ? std::make_unique<TreeItem>(*list) : std::make_unique<TreeItem>())
{
}

TreeModel::~TreeModel() = default;

TreeItem *TreeModel::itemOf(const QModelIndex &index) const
{
    return index.isValid() ? static_cast<TreeItem *>(index.internalPointer()) : rootItem.get();
}

// A search, as the rows are not stored, but one that starts at the row last found among the same
// siblings and widens from there: a view walking a branch of very many rows asks for neighbouring
// rows one after another and need not rescan the branch for each.
int TreeModel::rowOf(const TreeItem *node) const
{
    const TreeItem *up = node->parent();
    if (!up)
        return 0;
    const std::vector<TreeItem *> &siblings = up->children();
    const size_t size = siblings.size();
    RowHint &hint = rowHints[(quintptr(up) / sizeof(TreeItem)) % rowHints.size()];
    const size_t start = hint.parent == up && hint.row < size ? hint.row : 0;
    for (size_t distance = 0; distance <= start || start + distance < size; ++distance) {
        size_t row = size;
        if (start + distance < size && siblings[start + distance] == node)
            row = start + distance;
        else if (distance <= start && siblings[start - distance] == node)
            row = start - distance;
        if (row != size) {
            hint = RowHint {up, row};
            return int(row);
        }
    }
    return -1;
}

QModelIndex TreeModel::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || column < 0 || (parent.isValid() && parent.column() != 0))
        return QModelIndex();
    TreeItem *node = itemOf(parent);
    if (size_t(row) >= node->childCount())
        return QModelIndex();
    return createIndex(row, column, node->child(size_t(row)));
}

QModelIndex TreeModel::parent(const QModelIndex &child) const
{
    if (!child.isValid())
        return QModelIndex();
    TreeItem *up = itemOf(child)->parent();
    if (!up || up == rootItem.get())
        return QModelIndex();
    const int row = rowOf(up);
    if (row < 0)
        return QModelIndex();
    return createIndex(row, 0, up);
}

// Only the first column has children, as views expect.
int TreeModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(itemOf(parent)->childCount());
}

int TreeModel::columnCount(const QModelIndex &) const
{
    return ItemColumns::count(list ? list->kind : -1);
}

bool TreeModel::hasChildren(const QModelIndex &parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return false;
    return itemOf(parent)->hasChildren();
}

QVariant TreeModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    const TreeItem *node = itemOf(index);
    const int column = index.column();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        if (column == 0)
            return displayText(node->name);
        // Inner nodes show no columns, even when a record gave them some.
        if (node->isLeaf() && column <= node->fields.size())
            return displayText(node->fields.at(column - 1));
        return QVariant();
    case Qt::ForegroundRole:
        return column == 0 && node->isLeaf() ? ItemColors::leafColor() : ItemColors::branchColor();
    default:
        return QVariant();
    }
}

QVariant TreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return ItemColumns::headerText(list ? list->kind : -1, section);
}

Qt::ItemFlags TreeModel::flags(const QModelIndex &) const
{
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled;
}
