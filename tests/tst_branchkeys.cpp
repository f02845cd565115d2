#include "tab/BranchKeys.h"

#include <QStandardItemModel>
#include <QTreeView>
#include <QtTest>

#include <memory>

namespace {

// A node path written as top-level row, then child rows: "0.2.0".
QList<int> rowsOf(const QString &path)
{
    QList<int> rows;
    for (const QString &part : path.split(QLatin1Char('.')))
        rows.append(part.toInt());
    return rows;
}

// Builds every node named in paths, filling in the siblings before it. Each row carries a second
// column so that the keys show that children are always taken in column 0.
std::unique_ptr<QStandardItemModel> buildModel(const QStringList &paths)
{
    auto model = std::make_unique<QStandardItemModel>();
    for (const QString &path : paths) {
        QStandardItem *parent = model->invisibleRootItem();
        for (int row : rowsOf(path)) {
            while (parent->rowCount() <= row) {
                const QString name = QStringLiteral("n%1").arg(parent->rowCount());
                parent->appendRow(
                    {new QStandardItem(name), new QStandardItem(name + QStringLiteral("-info"))});
            }
            parent = parent->child(row);
        }
    }
    return model;
}

QModelIndex indexOf(const QAbstractItemModel &model, const QString &path)
{
    QModelIndex index;
    for (int row : rowsOf(path))
        index = model.index(row, 0, index);
    return index;
}

void expandPaths(QTreeView &view, const QStringList &paths)
{
    for (const QString &path : paths) {
        const QModelIndex index = indexOf(*view.model(), path);
        QVERIFY2(index.isValid(), qPrintable(path));
        view.expand(index);
    }
}

void gatherExpanded(const QTreeView &view, const QModelIndex &parent, const QString &parentPath,
                    QStringList &paths)
{
    const QAbstractItemModel *model = view.model();
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QModelIndex child = model->index(row, 0, parent);
        const QString path = parentPath.isEmpty() ? QString::number(row)
                                                  : parentPath + QLatin1Char('.') + QString::number(row);
        if (view.isExpanded(child))
            paths.append(path);
        gatherExpanded(view, child, path, paths);
    }
}

// Every expanded node of the whole model, the second top-level row included.
QStringList expandedPaths(const QTreeView &view)
{
    QStringList paths;
    gatherExpanded(view, QModelIndex(), QString(), paths);
    paths.sort();
    return paths;
}

} // namespace

class TestBranchKeys : public QObject
{
    Q_OBJECT

private slots:
    void collect_data();
    void collect();
    void collectWithinBudget_data();
    void collectWithinBudget();
    void apply_data();
    void apply();
    void withoutRows_data();
    void withoutRows();
};

void TestBranchKeys::collect_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("expanded");
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("nothing expanded") << QStringList {"0.3.1", "1.0"} << QStringList {} << QStringList {};
    QTest::newRow("first top-level node alone")
        << QStringList {"0.0"} << QStringList {"0"} << QStringList {"00"};
    QTest::newRow("descendants before ancestors")
        << QStringList {"0.2.0.0", "1"} << QStringList {"0", "0.2", "0.2.0"}
        << QStringList {"002000", "0020", "00"};
    QTest::newRow("siblings in row order")
        << QStringList {"0.1.0", "0.3.0"} << QStringList {"0.3", "0.1", "0"}
        << QStringList {"0010", "0030", "00"};
    QTest::newRow("rows above nine") << QStringList {"0.3.12.0"} << QStringList {"0", "0.3", "0.3.12"}
                                     << QStringList {"0030120", "0030", "00"};
    QTest::newRow("second top-level row ignored")
        << QStringList {"0.0", "1.0.0"} << QStringList {"1", "1.0", "0"} << QStringList {"00"};
    QTest::newRow("collapsed node hides expanded descendants")
        << QStringList {"0.2.0.0", "0.4.0"} << QStringList {"0", "0.2.0", "0.4"}
        << QStringList {"0040", "00"};
    QTest::newRow("children of a collapsed first node still examined")
        << QStringList {"0.2.0"} << QStringList {"0.2"} << QStringList {"0020"};
    // Rows 3 and 0, and row 300, spell the same digits (as sim/b003/c0 and sim/b300 may): the key
    // is written once for each of the two.
    QTest::newRow("two nodes share a key")
        << QStringList {"0.3.0.0", "0.300.0"} << QStringList {"0", "0.3", "0.3.0", "0.300"}
        << QStringList {"003000", "0030", "003000", "00"};
}

void TestBranchKeys::collect()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, expanded);
    QFETCH(QStringList, keys);

    auto model = buildModel(tree);
    QTreeView view;
    view.setModel(model.get());
    expandPaths(view, expanded);

    QCOMPARE(collectExpanded(&view), keys);

    // Applying what was just collected changes nothing.
    const QStringList before = expandedPaths(view);
    applyExpanded(&view, keys);
    QCOMPARE(expandedPaths(view), before);
    QCOMPARE(collectExpanded(&view), keys);

    // And it brings back the same branches after everything was collapsed.
    view.collapseAll();
    applyExpanded(&view, keys);
    QCOMPARE(collectExpanded(&view), keys);
}

// A deep file must not make the stored keys huge: the deepest levels are left out first.
void TestBranchKeys::collectWithinBudget_data()
{
    QTest::addColumn<int>("budget");
    QTest::addColumn<QStringList>("keys");

    QTest::newRow("all fit") << 12 << QStringList {"002000", "0020", "00"};
    QTest::newRow("deepest level left out") << 11 << QStringList {"0020", "00"};
    QTest::newRow("only the top fits") << 5 << QStringList {"00"};
    QTest::newRow("nothing fits") << 1 << QStringList {};
}

void TestBranchKeys::collectWithinBudget()
{
    QFETCH(int, budget);
    QFETCH(QStringList, keys);

    auto model = buildModel({"0.2.0.0", "0.3"});
    QTreeView view;
    view.setModel(model.get());
    expandPaths(view, {"0", "0.2", "0.2.0"});

    QCOMPARE(collectExpanded(&view, budget), keys);
    QCOMPARE(shallowestKeys(collectExpanded(&view), budget), keys);
}

void TestBranchKeys::apply_data()
{
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("alreadyExpanded");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("expanded");

    QTest::newRow("first top-level node alone")
        << QStringList {"0.0"} << QStringList {} << QStringList {"00"} << QStringList {"0"};
    QTest::newRow("nested branches") << QStringList {"0.2.0.0", "0.1.0"} << QStringList {}
                                     << QStringList {"002000", "0020", "00"}
                                     << QStringList {"0", "0.2", "0.2.0"};
    QTest::newRow("order of keys does not matter")
        << QStringList {"0.2.0.0"} << QStringList {} << QStringList {"00", "0020", "002000"}
        << QStringList {"0", "0.2", "0.2.0"};
    QTest::newRow("only reached through listed ancestors")
        << QStringList {"0.2.0.0"} << QStringList {} << QStringList {"002000", "00"} << QStringList {"0"};
    QTest::newRow("deeper node without its parent key")
        << QStringList {"0.2.0.0"} << QStringList {"0.2"} << QStringList {"002000", "00"}
        << QStringList {"0", "0.2"};
    QTest::newRow("keys naming no node are ignored")
        << QStringList {"0.1"} << QStringList {} << QStringList {"0090", "", "0x", "00", "000"}
        << QStringList {"0"};
    QTest::newRow("key prefixes are not matches")
        << QStringList {"0.1.0"} << QStringList {} << QStringList {"0010 ", "00100"} << QStringList {};
    QTest::newRow("second top-level row never expanded")
        << QStringList {"0.0", "1.0.0"} << QStringList {} << QStringList {"10", "1000", "00"}
        << QStringList {"0"};
    QTest::newRow("expanded nodes are never collapsed")
        << QStringList {"0.2.0", "0.3.0"} << QStringList {"0.3"} << QStringList {"0020"}
        << QStringList {"0.2", "0.3"};
    QTest::newRow("empty list changes nothing")
        << QStringList {"0.2.0"} << QStringList {"0", "0.2"} << QStringList {} << QStringList {"0", "0.2"};
    // Rows 1, 1 and 0 and rows 101 and 0 spell the same digits.
    QTest::newRow("ambiguous key expands both nodes")
        << QStringList {"0.1.1.0.0", "0.101.0.0"} << QStringList {}
        << QStringList {"0010", "001010", "00101000"}
        << QStringList {"0.1", "0.1.1", "0.1.1.0", "0.101", "0.101.0"};
}

void TestBranchKeys::apply()
{
    QFETCH(QStringList, tree);
    QFETCH(QStringList, alreadyExpanded);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, expanded);

    auto model = buildModel(tree);
    QTreeView view;
    view.setModel(model.get());
    expandPaths(view, alreadyExpanded);

    applyExpanded(&view, keys);

    expanded.sort();
    QCOMPARE(expandedPaths(view), expanded);
}

void TestBranchKeys::withoutRows_data()
{
    QTest::addColumn<bool>("withModel");

    QTest::newRow("no model") << false;
    QTest::newRow("empty model") << true;
}

void TestBranchKeys::withoutRows()
{
    QFETCH(bool, withModel);

    QStandardItemModel model;
    QTreeView view;
    if (withModel)
        view.setModel(&model);

    QVERIFY(collectExpanded(&view).isEmpty());
    applyExpanded(&view, {"00", "0000"});
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(collectExpanded(&view).isEmpty());
}

QTEST_MAIN(TestBranchKeys)
#include "tst_branchkeys.moc"
