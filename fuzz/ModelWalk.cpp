#include "fuzz/ModelWalk.h"

#include "fuzz/FuzzCheck.h"

#include <QVector>

namespace {

const int viewRoles[] = {Qt::DisplayRole,    Qt::DecorationRole, Qt::EditRole,          Qt::ToolTipRole,
                         Qt::StatusTipRole,  Qt::FontRole,       Qt::TextAlignmentRole, Qt::BackgroundRole,
                         Qt::ForegroundRole, Qt::CheckStateRole, Qt::SizeHintRole};

} // namespace

int walkModel(const QAbstractItemModel &model)
{
    int visited = 0;
    const int columns = model.columnCount();
    FUZZ_CHECK(columns >= 0);
    for (int section = -1; section <= columns; ++section) {
        (void)model.headerData(section, Qt::Horizontal, Qt::DisplayRole);
        (void)model.headerData(section, Qt::Vertical, Qt::DisplayRole);
    }
    FUZZ_CHECK(!model.index(-1, 0).isValid());
    FUZZ_CHECK(!model.index(0, -1).isValid());

    QVector<QModelIndex> pending {QModelIndex()};
    while (!pending.isEmpty()) {
        const QModelIndex parent = pending.takeLast();
        const int rows = model.rowCount(parent);
        FUZZ_CHECK(rows >= 0);
        // A model may claim children it has not counted yet, never the other way round.
        if (rows > 0)
            FUZZ_CHECK(model.hasChildren(parent));
        if (parent.isValid() && model.hasChildren(parent))
            FUZZ_CHECK(rows > 0);
        FUZZ_CHECK(!model.index(rows, 0, parent).isValid());
        // The tree model hands out columns past its layout on purpose; asking them must be harmless.
        const QModelIndex beyond = model.index(0, model.columnCount(parent), parent);
        for (const int role : viewRoles)
            (void)model.data(beyond, role);
        for (int row = 0; row < rows; ++row) {
            for (int column = 0; column < model.columnCount(parent); ++column) {
                const QModelIndex index = model.index(row, column, parent);
                FUZZ_CHECK(index.isValid());
                FUZZ_CHECK(index.row() == row && index.column() == column);
                FUZZ_CHECK(index.model() == &model);
                FUZZ_CHECK(model.parent(index) == parent);
                FUZZ_CHECK(index.sibling(row, 0) == model.index(row, 0, parent));
                for (const int role : viewRoles)
                    (void)model.data(index, role);
                (void)model.flags(index);
                if (column != 0)
                    FUZZ_CHECK(model.rowCount(index) == 0);
                ++visited;
            }
            const QModelIndex first = model.index(row, 0, parent);
            if (model.hasChildren(first))
                pending.append(first);
        }
    }
    return visited;
}
