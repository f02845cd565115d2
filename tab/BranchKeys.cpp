#include "tab/BranchKeys.h"

#include <QAbstractItemModel>
#include <QSet>
#include <QTreeView>

namespace {

QString keyOf(const QModelIndex &index, const QString &parentKey)
{
    return parentKey + QString::number(index.row()) + QString::number(index.column());
}

// Only children of expanded nodes are entered: a collapsed branch hides whatever is open below it.
void collectNode(const QTreeView *view, const QModelIndex &index, const QString &parentKey, QStringList &keys)
{
    const QAbstractItemModel *model = view->model();
    const QString key = keyOf(index, parentKey);
    const int rows = model->rowCount(index);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = model->index(row, 0, index);
        if (view->isExpanded(child))
            collectNode(view, child, key, keys);
    }
    if (view->isExpanded(index))
        keys.append(key);
}

void applyNode(QTreeView *view, const QModelIndex &index, const QString &parentKey, const QSet<QString> &keys)
{
    const QAbstractItemModel *model = view->model();
    const QString key = keyOf(index, parentKey);
    const int rows = model->rowCount(index);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex child = model->index(row, 0, index);
        if (keys.contains(keyOf(child, key)))
            applyNode(view, child, key, keys);
    }
    if (keys.contains(key))
        view->expand(index);
}

QModelIndex firstTopLevel(const QTreeView *view)
{
    if (!view || !view->model())
        return QModelIndex();
    return view->model()->index(0, 0);
}

} // namespace

QStringList collectExpanded(const QTreeView *view)
{
    QStringList keys;
    const QModelIndex first = firstTopLevel(view);
    if (first.isValid())
        collectNode(view, first, QString(), keys);
    return keys;
}

void applyExpanded(QTreeView *view, const QStringList &keys)
{
    const QModelIndex first = firstTopLevel(view);
    if (!first.isValid() || keys.isEmpty())
        return;
    const QSet<QString> lookup(keys.cbegin(), keys.cend());
    applyNode(view, first, QString(), lookup);
}
