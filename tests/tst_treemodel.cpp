#include "data/TreeModel.h"

#include "data/ReferenceList.h"
#include "tests/GeneratedList.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QIdentityProxyModel>
#include <QSet>
#include <QtTest>

using Lines = QList<QByteArray>;
using Rows = QList<int>;

namespace {

ReferenceList listOf(int32_t kind, const Lines &lines)
{
    ReferenceList list;
    list.kind = kind;
    for (const QByteArray &line : lines) {
        Reference record;
        record.parse(line);
        list.references.push_back(record);
    }
    return list;
}

// The index reached by following rows from the invisible root, in column 0, then column at the end.
QModelIndex indexAt(const QAbstractItemModel &model, const Rows &rows, int column)
{
    QModelIndex index;
    for (int i = 0; i < rows.size(); ++i)
        index = model.index(rows[i], i == rows.size() - 1 ? column : 0, index);
    return index;
}

// The model gives the invisible root the flags of every index; the tester expects none there.
// Everything else passes through unchanged, so the tester still checks the model's own answers.
class RootWithoutFlags : public QIdentityProxyModel
{
public:
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? QIdentityProxyModel::flags(index) : Qt::NoItemFlags;
    }
};

const QVariant leafColor = QColor(150, 50, 150);
const QVariant branchColor = QColor(50, 100, 150);

} // namespace

class TestTreeModel : public QObject
{
    Q_OBJECT

private slots:
    void columnsAndHeaders_data();
    void columnsAndHeaders();
    void dataByRole_data();
    void dataByRole();
    void treeShape_data();
    void treeShape();
    void flagsAreSelectableAndEnabled();
    void indexOutsideTheTreeIsInvalid_data();
    void indexOutsideTheTreeIsInvalid();
    void emptyList();
    void walkEveryIndexAsAView();
    void wideBranchRowsAndParents();
};

void TestTreeModel::columnsAndHeaders_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("section");
    QTest::addColumn<int>("orientation");
    QTest::addColumn<int>("role");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QVariant>("header");

    const int h = Qt::Horizontal;
    const int display = Qt::DisplayRole;
    QTest::newRow("datarefs 0") << int(DataRefs) << 0 << h << display << 5 << QVariant("Data ref");
    QTest::newRow("datarefs 1") << int(DataRefs) << 1 << h << display << 5 << QVariant("Type");
    QTest::newRow("datarefs 2") << int(DataRefs) << 2 << h << display << 5 << QVariant("Writable");
    QTest::newRow("datarefs 3") << int(DataRefs) << 3 << h << display << 5 << QVariant("Units");
    QTest::newRow("datarefs 4") << int(DataRefs) << 4 << h << display << 5 << QVariant("Description");
    QTest::newRow("datarefs 5") << int(DataRefs) << 5 << h << display << 5 << QVariant();
    QTest::newRow("datarefs -1") << int(DataRefs) << -1 << h << display << 5 << QVariant();
    QTest::newRow("commands 0") << int(Commands) << 0 << h << display << 2 << QVariant("Command");
    QTest::newRow("commands 1") << int(Commands) << 1 << h << display << 2 << QVariant("Description");
    QTest::newRow("commands 2") << int(Commands) << 2 << h << display << 2 << QVariant();
    QTest::newRow("other kind 0") << 7 << 0 << h << display << 1 << QVariant();
    QTest::newRow("negative kind") << -1 << 0 << h << display << 1 << QVariant();
    QTest::newRow("vertical") << int(DataRefs) << 0 << int(Qt::Vertical) << display << 5 << QVariant();
    QTest::newRow("edit role") << int(DataRefs) << 0 << h << int(Qt::EditRole) << 5 << QVariant();
    QTest::newRow("tool tip role") << int(Commands) << 1 << h << int(Qt::ToolTipRole) << 2 << QVariant();
}

void TestTreeModel::columnsAndHeaders()
{
    QFETCH(int, kind);
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(int, columns);
    QFETCH(QVariant, header);

    const ReferenceList list = listOf(kind, Lines {"a/b\tint", "c"});
    const TreeModel model(&list);
    QCOMPARE(model.columnCount(), columns);
    QCOMPARE(model.columnCount(model.index(0, 0)), columns);
    QCOMPARE(model.headerData(section, Qt::Orientation(orientation), role), header);
}

void TestTreeModel::dataByRole_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<Rows>("rows");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");

    const Lines leafAndBranch {"a/b\tint\ty\tm\tBee", "a/c\tfloat\tn", "a/c/d\tdouble"};
    const int display = Qt::DisplayRole;
    const int foreground = Qt::ForegroundRole;
    QTest::newRow("leaf name") << leafAndBranch << Rows {0, 0} << 0 << display << QVariant("b");
    QTest::newRow("leaf type") << leafAndBranch << Rows {0, 0} << 1 << display << QVariant("int");
    QTest::newRow("leaf description") << leafAndBranch << Rows {0, 0} << 4 << display << QVariant("Bee");
    QTest::newRow("edit role as display")
        << leafAndBranch << Rows {0, 0} << 3 << int(Qt::EditRole) << QVariant("m");
    QTest::newRow("missing field is invalid, not empty")
        << leafAndBranch << Rows {0, 1, 0} << 3 << display << QVariant();
    QTest::newRow("column beyond the layout") << leafAndBranch << Rows {0, 0} << 5 << display << QVariant();
    QTest::newRow("branch name") << leafAndBranch << Rows {0} << 0 << display << QVariant("a");
    QTest::newRow("branch that was a record hides its fields")
        << leafAndBranch << Rows {0, 1} << 1 << display << QVariant();
    QTest::newRow("leaf below it shows its own")
        << leafAndBranch << Rows {0, 1, 0} << 1 << display << QVariant("double");
    QTest::newRow("field decoded as utf-8 up to nul")
        << Lines {QByteArray("x\tgr\xc3\xbc\xc3\x9f\0junk", 14)} << Rows {0} << 1 << display
        << QVariant(QString::fromUtf8("grüß"));
    QTest::newRow("empty name of a trailing slash")
        << Lines {"a/\tint"} << Rows {0, 0} << 0 << display << QVariant("");
    QTest::newRow("decoration") << leafAndBranch << Rows {0, 0} << 0 << int(Qt::DecorationRole) << QVariant();
    QTest::newRow("tool tip") << leafAndBranch << Rows {0, 0} << 1 << int(Qt::ToolTipRole) << QVariant();
    QTest::newRow("alignment") << leafAndBranch << Rows {0, 0} << 0 << int(Qt::TextAlignmentRole)
                               << QVariant();
    QTest::newRow("leaf name colour") << leafAndBranch << Rows {0, 0} << 0 << foreground << leafColor;
    QTest::newRow("leaf column colour") << leafAndBranch << Rows {0, 0} << 2 << foreground << branchColor;
    QTest::newRow("branch name colour") << leafAndBranch << Rows {0} << 0 << foreground << branchColor;
    QTest::newRow("former leaf name colour")
        << leafAndBranch << Rows {0, 1} << 0 << foreground << branchColor;
    QTest::newRow("leaf without fields, name colour")
        << Lines {"x"} << Rows {0} << 0 << foreground << leafColor;
    QTest::newRow("column beyond the layout, colour")
        << Lines {"x"} << Rows {0} << 9 << foreground << branchColor;
}

void TestTreeModel::dataByRole()
{
    QFETCH(Lines, lines);
    QFETCH(Rows, rows);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, value);

    const ReferenceList list = listOf(DataRefs, lines);
    const TreeModel model(&list);
    const QModelIndex index = indexAt(model, rows, column);
    QVERIFY(index.isValid());
    const QVariant actual = model.data(index, role);
    QCOMPARE(actual.userType(), value.userType());
    if (value.userType() == QMetaType::QColor)
        QCOMPARE(actual.value<QColor>().rgba(), value.value<QColor>().rgba());
    else
        QCOMPARE(actual, value);
    QCOMPARE(model.data(QModelIndex(), role), QVariant());
}

// The tree as the model reports it: names of column 0, children in braces.
static QString modelShape(const QAbstractItemModel &model, const QModelIndex &parent)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex index = model.index(row, 0, parent);
        QString text = index.data().toString();
        if (model.hasChildren(index))
            text += '{' + modelShape(model, index) + '}';
        rows << text;
    }
    return rows.join(' ');
}

void TestTreeModel::treeShape_data()
{
    QTest::addColumn<Lines>("lines");
    QTest::addColumn<QString>("shape");

    QTest::newRow("sorted siblings by first record") << Lines {"a.b/x", "a/y", "a/z"} << "a.b{x} a{y z}";
    QTest::newRow("duplicate paths") << Lines {"a/b\tint", "a/b\tfloat"} << "a{b}";
    QTest::newRow("trailing slash") << Lines {"a/b/\tint"} << "a{b{}}";
    QTest::newRow("leading slash") << Lines {"/a\tint"} << "{a}";
    QTest::newRow("empty path") << Lines {"\tint", "b"} << " b";
    QTest::newRow("path that is also a prefix") << Lines {"a/b\tint", "a/b/c\tint"} << "a{b{c}}";
}

void TestTreeModel::treeShape()
{
    QFETCH(Lines, lines);
    QFETCH(QString, shape);

    const ReferenceList list = listOf(DataRefs, lines);
    const TreeModel model(&list);
    QCOMPARE(modelShape(model, QModelIndex()), shape);
}

void TestTreeModel::flagsAreSelectableAndEnabled()
{
    const ReferenceList list = listOf(Commands, Lines {"a/b Go.", "c Stop."});
    const TreeModel model(&list);
    const Qt::ItemFlags expected(33);
    QCOMPARE(model.flags(QModelIndex()), expected);
    for (const QModelIndex &index :
         {model.index(0, 0), model.index(0, 1), model.index(0, 0, model.index(0, 0)), model.index(1, 1)}) {
        QVERIFY(index.isValid());
        QCOMPARE(model.flags(index), expected);
    }
}

void TestTreeModel::indexOutsideTheTreeIsInvalid_data()
{
    QTest::addColumn<Rows>("parentRows");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("top-level row at count") << Rows {} << 2 << 0;
    QTest::newRow("top-level row far beyond") << Rows {} << 1000000 << 0;
    QTest::newRow("negative row") << Rows {} << -1 << 0;
    QTest::newRow("negative column") << Rows {} << 0 << -1;
    QTest::newRow("child row at count") << Rows {0} << 2 << 0;
    QTest::newRow("child of a leaf") << Rows {1} << 0 << 0;
    QTest::newRow("negative row under a leaf") << Rows {0, 0} << -1 << 0;
}

void TestTreeModel::indexOutsideTheTreeIsInvalid()
{
    QFETCH(Rows, parentRows);
    QFETCH(int, row);
    QFETCH(int, column);

    const ReferenceList list = listOf(DataRefs, Lines {"a/b", "a/c", "d"});
    const TreeModel model(&list);
    const QModelIndex parent = indexAt(model, parentRows, 0);
    QCOMPARE(parent.isValid(), !parentRows.isEmpty());
    QModelIndex index;
    try {
        index = model.index(row, column, parent);
    } catch (const std::exception &error) {
        QFAIL(error.what());
    }
    QVERIFY(!index.isValid());
}

void TestTreeModel::emptyList()
{
    const ReferenceList list = listOf(Commands, Lines {});
    const TreeModel model(&list);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.hasChildren());
    QVERIFY(!model.index(0, 0).isValid());
    QCOMPARE(model.columnCount(), 2);
    QCOMPARE(model.headerData(0, Qt::Horizontal), QVariant("Command"));
}

// Walks every index the way a view does and checks each one against the records it came from.
void TestTreeModel::walkEveryIndexAsAView()
{
    const ReferenceList list = generatedList(3000);
    TreeModel model(&list);
    RootWithoutFlags proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);

    // A trailing "/" ends in a node with an empty name, which adds nothing to the full path.
    // The first record of a path gives its leaf the type column.
    QSet<QString> paths;
    QHash<QString, QString> firstType;
    for (const Reference &record : list.references) {
        QString path = decodeText(record.path);
        if (path.endsWith('/'))
            path.chop(1);
        paths.insert(path);
        if (!firstType.contains(path))
            firstType.insert(path, decodeText(record.fields.value(0)));
    }

    QSet<QString> leaves;
    int branches = 0;
    QList<QModelIndex> pending {QModelIndex()};
    while (!pending.isEmpty()) {
        const QModelIndex parent = pending.takeLast();
        const TreeItem *parentItem
            = parent.isValid() ? static_cast<TreeItem *>(parent.internalPointer()) : model.rootItem.get();
        QCOMPARE(size_t(model.rowCount(parent)), parentItem->childCount());
        for (int row = 0; row < model.rowCount(parent); ++row) {
            for (int column = 0; column < model.columnCount(parent); ++column) {
                const QModelIndex index = model.index(row, column, parent);
                QVERIFY(index.isValid());
                QCOMPARE(model.parent(index), parent);
                const TreeItem *item = static_cast<TreeItem *>(index.internalPointer());
                QCOMPARE(item, parentItem->child(size_t(row)));
                if (column == 0)
                    QCOMPARE(index.data().toString(), item->name);
            }
            const QModelIndex index = model.index(row, 0, parent);
            const TreeItem *item = static_cast<TreeItem *>(index.internalPointer());
            if (model.hasChildren(index)) {
                ++branches;
                pending << index;
                QVERIFY(!model.data(index.sibling(row, 1)).isValid());
            } else {
                QVERIFY2(paths.contains(item->fullPath()), qPrintable(item->fullPath()));
                leaves.insert(item->fullPath());
                QCOMPARE(model.data(index.sibling(row, 1)).toString(), firstType.value(item->fullPath()));
            }
        }
    }
    QVERIFY(branches > 20);
    // Every path that is not also a prefix of another ends at a leaf of its own.
    for (const QString &path : paths) {
        bool prefix = false;
        for (const QString &other : paths)
            prefix = prefix || other.startsWith(path + '/');
        if (!prefix)
            QVERIFY2(leaves.contains(path), qPrintable(path));
    }
}

// A branch with many rows: each row's parent is found, walking forwards and backwards.
void TestTreeModel::wideBranchRowsAndParents()
{
    ReferenceList list;
    const int count = 5000;
    for (int i = 0; i < count; ++i) {
        Reference record;
        record.parse("wide/n" + QByteArray::number(100000 + i) + "/leaf\tint");
        list.references.push_back(record);
    }
    const TreeModel model(&list);
    const QModelIndex wide = model.index(0, 0);
    QCOMPARE(model.rowCount(wide), count);
    for (int step : {1, -1, 997}) {
        for (int i = 0; i < count; ++i) {
            const int row = step == 1 ? i : step == -1 ? count - 1 - i : (i * step) % count;
            const QModelIndex branch = model.index(row, 0, wide);
            const QModelIndex leaf = model.index(0, 0, branch);
            QCOMPARE(model.parent(leaf), branch);
            QCOMPARE(model.parent(leaf).row(), row);
        }
    }
}

QTEST_GUILESS_MAIN(TestTreeModel)
#include "tst_treemodel.moc"
