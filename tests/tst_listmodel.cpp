#include "data/ListModel.h"

#include "data/ReferenceList.h"
#include "tests/GeneratedList.h"

#include <QAbstractItemModelTester>
#include <QColor>
#include <QIdentityProxyModel>
#include <QtTest>

using Lines = QList<QByteArray>;

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

// The model gives the invisible root the flags of every index; the tester expects none there.
class RootWithoutFlags : public QIdentityProxyModel
{
public:
    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        return index.isValid() ? QIdentityProxyModel::flags(index) : Qt::NoItemFlags;
    }
};

const QVariant pathColor = QColor(150, 50, 150);
const QVariant columnColor = QColor(50, 100, 150);
const QVariant leftCentred = int(Qt::AlignLeft | Qt::AlignVCenter);

} // namespace

class TestListModel : public QObject
{
    Q_OBJECT

private slots:
    void columnsAndHeaders_data();
    void columnsAndHeaders();
    void dataByRole_data();
    void dataByRole();
    void indexCarriesItsRecord();
    void rowsHaveNoChildren();
    void indexOutsideTheListIsInvalid_data();
    void indexOutsideTheListIsInvalid();
    void emptyList();
    void walkEveryIndexAsAView();
};

void TestListModel::columnsAndHeaders_data()
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
    QTest::newRow("datarefs 3") << int(DataRefs) << 3 << h << display << 5 << QVariant("Units");
    QTest::newRow("datarefs 4") << int(DataRefs) << 4 << h << display << 5 << QVariant("Description");
    QTest::newRow("datarefs 5") << int(DataRefs) << 5 << h << display << 5 << QVariant();
    QTest::newRow("commands 0") << int(Commands) << 0 << h << display << 2 << QVariant("Command");
    QTest::newRow("commands 1") << int(Commands) << 1 << h << display << 2 << QVariant("Description");
    QTest::newRow("commands 2") << int(Commands) << 2 << h << display << 2 << QVariant();
    QTest::newRow("other kind") << 3 << 0 << h << display << 1 << QVariant();
    QTest::newRow("vertical") << int(Commands) << 0 << int(Qt::Vertical) << display << 2 << QVariant();
    QTest::newRow("decoration role") << int(DataRefs) << 1 << h << int(Qt::DecorationRole) << 5 << QVariant();
}

void TestListModel::columnsAndHeaders()
{
    QFETCH(int, kind);
    QFETCH(int, section);
    QFETCH(int, orientation);
    QFETCH(int, role);
    QFETCH(int, columns);
    QFETCH(QVariant, header);

    const ReferenceList list = listOf(kind, Lines {"a/b\tint"});
    const ListModel model(&list);
    QCOMPARE(model.columnCount(), columns);
    QCOMPARE(model.headerData(section, Qt::Orientation(orientation), role), header);
}

void TestListModel::dataByRole_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("role");
    QTest::addColumn<QVariant>("value");

    const int display = Qt::DisplayRole;
    QTest::newRow("first row numbered 1") << 0 << 0 << display << QVariant("1 - a/b");
    QTest::newRow("tenth row numbered 10") << 9 << 0 << display << QVariant("10 - r/9");
    QTest::newRow("empty path") << 10 << 0 << display << QVariant("11 - ");
    QTest::newRow("path decoded up to nul") << 11 << 0 << display << QVariant(QString::fromUtf8("12 - s/é"));
    QTest::newRow("type") << 0 << 1 << display << QVariant("int");
    QTest::newRow("writable") << 0 << 2 << display << QVariant("y");
    QTest::newRow("missing units are invalid") << 0 << 3 << display << QVariant();
    QTest::newRow("missing description is invalid") << 0 << 4 << display << QVariant();
    QTest::newRow("all four fields") << 12 << 4 << display << QVariant("Desc");
    QTest::newRow("edit role") << 0 << 0 << int(Qt::EditRole) << QVariant();
    QTest::newRow("decoration role") << 0 << 0 << int(Qt::DecorationRole) << QVariant();
    QTest::newRow("alignment of the path") << 0 << 0 << int(Qt::TextAlignmentRole) << leftCentred;
    QTest::newRow("alignment of a column") << 0 << 4 << int(Qt::TextAlignmentRole) << leftCentred;
    QTest::newRow("path colour") << 0 << 0 << int(Qt::ForegroundRole) << pathColor;
    QTest::newRow("path colour of a record without fields")
        << 10 << 0 << int(Qt::ForegroundRole) << pathColor;
    QTest::newRow("column colour") << 0 << 1 << int(Qt::ForegroundRole) << columnColor;
    QTest::newRow("colour of a missing column") << 0 << 4 << int(Qt::ForegroundRole) << columnColor;
}

void TestListModel::dataByRole()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(int, role);
    QFETCH(QVariant, value);

    // Kept in this order on purpose: the model numbers rows as the list holds them.
    Lines lines {"a/b\tint\ty"};
    for (int i = 1; i < 10; ++i)
        lines << "r/" + QByteArray::number(i);
    lines << "\t" << QByteArray("s/\xc3\xa9\0x\tint", 10) << "t\tfloat\ty\tm\tDesc\tExtra";
    const ReferenceList list = listOf(DataRefs, lines);
    const ListModel model(&list);

    const QModelIndex index = model.index(row, column);
    QVERIFY(index.isValid());
    const QVariant actual = model.data(index, role);
    QCOMPARE(actual.userType(), value.userType());
    if (value.userType() == QMetaType::QColor)
        QCOMPARE(actual.value<QColor>().rgba(), value.value<QColor>().rgba());
    else
        QCOMPARE(actual, value);
    QCOMPARE(model.data(QModelIndex(), role), QVariant());
    QCOMPARE(model.flags(index), Qt::ItemFlags(33));
}

void TestListModel::indexCarriesItsRecord()
{
    const ReferenceList list = listOf(Commands, Lines {"a Go.", "b Stop.", "c Wait."});
    const ListModel model(&list);
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 2; ++column) {
            const QModelIndex index = model.index(row, column);
            QCOMPARE(index.internalPointer(), static_cast<const void *>(&list.references[size_t(row)]));
            QVERIFY(!model.parent(index).isValid());
        }
    }
    QCOMPARE(model.flags(QModelIndex()), Qt::ItemFlags(33));
}

void TestListModel::rowsHaveNoChildren()
{
    const ReferenceList list = listOf(Commands, Lines {"a Go.", "b Stop."});
    const ListModel model(&list);
    const QModelIndex row = model.index(0, 0);
    QVERIFY(model.hasChildren());
    QVERIFY(!model.hasChildren(row));
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.rowCount(row), 0);
    QVERIFY(!model.index(0, 0, row).isValid());
}

void TestListModel::indexOutsideTheListIsInvalid_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");

    QTest::newRow("row at count") << 3 << 0;
    QTest::newRow("row far beyond") << 1000000 << 1;
    QTest::newRow("negative row") << -1 << 0;
    QTest::newRow("negative column") << 0 << -1;
    QTest::newRow("column at count") << 0 << 2;
}

void TestListModel::indexOutsideTheListIsInvalid()
{
    QFETCH(int, row);
    QFETCH(int, column);

    const ReferenceList list = listOf(Commands, Lines {"a Go.", "b Stop.", "c Wait."});
    const ListModel model(&list);
    QModelIndex index;
    try {
        index = model.index(row, column);
    } catch (const std::exception &error) {
        QFAIL(error.what());
    }
    QVERIFY(!index.isValid());
}

void TestListModel::emptyList()
{
    const ReferenceList list = listOf(DataRefs, Lines {});
    const ListModel model(&list);
    QCOMPARE(model.rowCount(), 0);
    QVERIFY(!model.index(0, 0).isValid());
    QCOMPARE(model.columnCount(), 5);
    QCOMPARE(model.headerData(2, Qt::Horizontal), QVariant("Writable"));
}

void TestListModel::walkEveryIndexAsAView()
{
    const ReferenceList list = generatedList(2000);
    ListModel model(&list);
    RootWithoutFlags proxy;
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, QAbstractItemModelTester::FailureReportingMode::QtTest);

    QCOMPARE(size_t(model.rowCount()), list.references.size());
    for (int row = 0; row < model.rowCount(); ++row) {
        const Reference &record = list.references[size_t(row)];
        const QModelIndex index = model.index(row, 0);
        QCOMPARE(index.data().toString(), QString::number(row + 1) + " - " + decodeText(record.path));
        for (int column = 1; column < model.columnCount(); ++column) {
            const QVariant value = model.index(row, column).data();
            QCOMPARE(value.isValid(), column <= record.fields.size());
            if (value.isValid())
                QCOMPARE(value.toString(), decodeText(record.fields.at(column - 1)));
        }
    }
}

QTEST_GUILESS_MAIN(TestListModel)
#include "tst_listmodel.moc"
