#include "tests/TabDriver.h"

#include <QHeaderView>
#include <QRect>
#include <QSettings>
#include <QSplitter>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

// The keys of a tab sit in an element of the window's list of open files, as the main window
// stores them.
class TestTabState : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void roundTrip_data();
    void roundTrip();
    void columnWidthsComeBack();
    void keysSitInTheArrayElement();
    void noKeysGiveTreeWithNothingExpanded();
    void emptyFileStoresNoBranches();
    void badValuesAreHarmless_data();
    void badValuesAreHarmless();
    void headerOfAnotherColumnCount_data();
    void headerOfAnotherColumnCount();

private:
    QString samplePath() const { return dir.filePath(QStringLiteral("DataRefs.txt")); }
    QString iniPath() const { return dir.filePath(QStringLiteral("settings.ini")); }

    void save(TabDriver &driver, int element = 0)
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("class WinMain"));
        settings.beginWriteArray(QStringLiteral("openfiles"));
        settings.setArrayIndex(element);
        settings.setValue(QStringLiteral("filepath"), driver.tab->filePath());
        driver.tab->saveState(settings);
        settings.endArray();
        settings.endGroup();
    }

    void writeKeys(const std::function<void(QSettings &)> &write)
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("class WinMain"));
        settings.beginWriteArray(QStringLiteral("openfiles"));
        settings.setArrayIndex(0);
        write(settings);
        settings.endArray();
        settings.endGroup();
    }

    void restore(TabDriver &driver, const QString &path = QString())
    {
        QVERIFY(driver.tab->loadFile(path.isEmpty() ? samplePath() : path));
        QSettings settings(iniPath(), QSettings::IniFormat);
        settings.beginGroup(QStringLiteral("class WinMain"));
        settings.beginReadArray(QStringLiteral("openfiles"));
        settings.setArrayIndex(0);
        driver.tab->restoreState(settings);
        settings.endArray();
        settings.endGroup();
    }

    QVariant storedKey(const QString &key)
    {
        QSettings settings(iniPath(), QSettings::IniFormat);
        return settings.value(QStringLiteral("class WinMain/openfiles/1/") + key);
    }

    QTemporaryDir dir;
};

void TestTabState::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(TabDriver::writeFile(samplePath(), TabDriver::sampleList()));
}

void TestTabState::roundTrip_data()
{
    QTest::addColumn<bool>("leaveInTree");
    QTest::addColumn<QString>("searchBeforeSave");
    QTest::addColumn<bool>("comesBackAsTree");

    QTest::newRow("tree") << true << "" << true;
    QTest::newRow("list, branches of the tree kept") << false << "" << false;
    QTest::newRow("results in a tree give the whole file") << true << "float" << true;
    QTest::newRow("results in a list give the whole file") << false << "float" << false;
}

void TestTabState::roundTrip()
{
    QFETCH(bool, leaveInTree);
    QFETCH(QString, searchBeforeSave);
    QFETCH(bool, comesBackAsTree);

    QFile::remove(iniPath());
    const QStringList expanded = {"sim", "sim/flightmodel", "sim/flightmodel/position", "sim/time"};
    {
        TabDriver first;
        QVERIFY(first.tab->loadFile(samplePath()));
        first.press("btnStateView");
        first.expand("sim/flightmodel/position");
        first.expand("sim/time");
        QCOMPARE(first.expandedBranches(), expanded);
        if (!leaveInTree)
            first.press("btnStateView");
        if (!searchBeforeSave.isEmpty()) {
            first.search(searchBeforeSave);
            if (leaveInTree)
                first.press("btnCollapseAll");
        }
        save(first);
    }
    QCOMPARE(storedKey(QStringLiteral("treeexpands")).toStringList(),
             QStringList({"001000", "0010", "0020", "00"}));

    TabDriver second;
    restore(second);
    QCOMPARE(second.isTree(), comesBackAsTree);
    QCOMPARE(second.findLabel()->text(), QStringLiteral("Find:"));
    if (!comesBackAsTree) {
        QCOMPARE(second.shown().size(), 7);
        second.press("btnStateView");
    }
    QCOMPARE(second.shown().size(), 7);
    QCOMPARE(second.expandedBranches(), expanded);
}

void TestTabState::columnWidthsComeBack()
{
    QFile::remove(iniPath());
    {
        TabDriver first;
        QVERIFY(first.tab->loadFile(samplePath()));
        first.view()->header()->resizeSection(0, 321);
        first.view()->header()->resizeSection(2, 85); // above the narrowest width of every style
        first.view()->header()->moveSection(3, 1);
        save(first);
    }
    TabDriver second;
    restore(second);
    QHeaderView *header = second.view()->header();
    QCOMPARE(header->sectionSize(0), 321);
    QCOMPARE(header->sectionSize(2), 85);
    QCOMPARE(header->visualIndex(3), 1);
}

void TestTabState::keysSitInTheArrayElement()
{
    QFile::remove(iniPath());
    {
        TabDriver first;
        QVERIFY(first.tab->loadFile(samplePath()));
        save(first, 1);
    }
    QFile file(iniPath());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray ini = file.readAll();
    QVERIFY(ini.contains("[class%20WinMain]"));
    QVERIFY(ini.contains("openfiles\\2\\header=@ByteArray("));
    QVERIFY(ini.contains("openfiles\\2\\istreeview=false"));
    QVERIFY(ini.contains("openfiles\\2\\treeexpands=@Invalid()"));
    QVERIFY(!ini.contains("\nheader="));
    QVERIFY(!ini.contains("\nistreeview="));
}

void TestTabState::noKeysGiveTreeWithNothingExpanded()
{
    QFile::remove(iniPath());
    writeKeys(
        [](QSettings &settings) { settings.setValue(QStringLiteral("filepath"), QStringLiteral("x")); });
    TabDriver driver;
    restore(driver);
    QVERIFY(driver.isTree());
    QCOMPARE(driver.child<QPushButton>("btnStateView")->toolTip(), QStringLiteral("Toggle to list view"));
    QVERIFY(driver.child("btnExpandAll")->isEnabled());
    QVERIFY(driver.expandedBranches().isEmpty());
    QCOMPARE(driver.view()->header()->count(), 5);
}

void TestTabState::emptyFileStoresNoBranches()
{
    QFile::remove(iniPath());
    const QString empty = dir.filePath(QStringLiteral("empty.txt"));
    QVERIFY(TabDriver::writeFile(empty, QByteArray()));
    {
        TabDriver first;
        QVERIFY(first.tab->loadFile(empty));
        first.press("btnStateView");
        first.press("btnExpandAll");
        save(first);
    }
    QVERIFY(storedKey(QStringLiteral("treeexpands")).toStringList().isEmpty());
    TabDriver second;
    restore(second, empty);
    QVERIFY(second.isTree());
    QCOMPARE(second.model()->rowCount(), 0);
}

void TestTabState::badValuesAreHarmless_data()
{
    QTest::addColumn<QVariant>("header");
    QTest::addColumn<QVariant>("treeExpands");
    QTest::addColumn<QVariant>("isTreeView");
    QTest::addColumn<bool>("comesBackAsTree");
    QTest::addColumn<QStringList>("expanded");
    QTest::addColumn<QStringList>("writtenBack"); // "treeexpands" when the tab is saved again at once

    QTableView table;
    auto *rows = new QStandardItemModel(4, 3, &table);
    table.setModel(rows);
    table.verticalHeader()->resizeSection(1, 77);
    QSplitter splitter;
    splitter.addWidget(new QWidget);
    splitter.addWidget(new QWidget);
    splitter.setSizes({100, 200});

    const QVariant none;
    QTest::newRow("header of a vertical header") << QVariant(table.verticalHeader()->saveState()) << none
                                                 << none << true << QStringList() << QStringList();
    QTest::newRow("header of a splitter")
        << QVariant(splitter.saveState()) << none << none << true << QStringList() << QStringList();
    QTest::newRow("header as text") << QVariant(QStringLiteral("not a header")) << none << none << true
                                    << QStringList() << QStringList();
    QTest::newRow("header as a list")
        << QVariant(QStringList {"a", "b"}) << none << none << true << QStringList() << QStringList();
    QTest::newRow("header cut short") << QVariant(table.horizontalHeader()->saveState().left(20)) << none
                                      << none << true << QStringList() << QStringList();
    QTest::newRow("branches as a number")
        << none << QVariant(5) << none << true << QStringList() << QStringList();
    QTest::newRow("branches as a rectangle")
        << none << QVariant(QRect(1, 2, 3, 4)) << none << true << QStringList() << QStringList();
    QTest::newRow("branches as words")
        << none << QVariant(QStringList {"00", "banana", "0020"}) << none << true
        << QStringList {"sim", "sim/time"} << QStringList {"0020", "00"};
    QTest::newRow("one branch") << none << QVariant(QStringLiteral("00")) << none << true
                                << QStringList {"sim"} << QStringList {"00"};
    QTest::newRow("tree flag as a word")
        << none << none << QVariant(QStringLiteral("banana")) << true << QStringList() << QStringList();
    QTest::newRow("tree flag as a rectangle")
        << none << none << QVariant(QRect(1, 2, 3, 4)) << true << QStringList() << QStringList();
    QTest::newRow("tree flag as a list")
        << none << none << QVariant(QStringList {"false", "x"}) << true << QStringList() << QStringList();
    QTest::newRow("tree flag false") << none << QVariant(QStringList {"00"}) << QVariant(false) << false
                                     << QStringList {"sim"} << QStringList {"00"};
    // Written by hand: read as the toolkit reads a boolean; keys that name no node go back as read.
    QTest::newRow("tree flag 0, unknown keys")
        << none << QVariant(QStringList {"00", "banana", "0099990"}) << QVariant(QStringLiteral("0")) << false
        << QStringList {"sim"} << QStringList {"00", "banana", "0099990"};
    QTest::newRow("tree flag FALSE") << none << none << QVariant(QStringLiteral("FALSE")) << false
                                     << QStringList() << QStringList();
    QTest::newRow("tree flag 1") << none << QVariant(QStringLiteral("00")) << QVariant(QStringLiteral("1"))
                                 << true << QStringList {"sim"} << QStringList {"00"};
}

void TestTabState::badValuesAreHarmless()
{
    QFETCH(QVariant, header);
    QFETCH(QVariant, treeExpands);
    QFETCH(QVariant, isTreeView);
    QFETCH(bool, comesBackAsTree);
    QFETCH(QStringList, expanded);
    QFETCH(QStringList, writtenBack);

    QFile::remove(iniPath());
    writeKeys([&](QSettings &settings) {
        if (header.isValid())
            settings.setValue(QStringLiteral("header"), header);
        if (treeExpands.isValid())
            settings.setValue(QStringLiteral("treeexpands"), treeExpands);
        if (isTreeView.isValid())
            settings.setValue(QStringLiteral("istreeview"), isTreeView);
    });

    TabDriver untouched;
    QVERIFY(untouched.tab->loadFile(samplePath()));
    TabDriver driver;
    restore(driver);
    QHeaderView *restored = driver.view()->header();
    QCOMPARE(restored->orientation(), Qt::Horizontal);
    QCOMPARE(restored->count(), 5);
    for (int section = 0; section < 5; ++section) {
        QCOMPARE(restored->sectionSize(section), untouched.view()->header()->sectionSize(section));
        QCOMPARE(restored->visualIndex(section), section);
        QVERIFY(!restored->isSectionHidden(section));
    }
    QCOMPARE(driver.isTree(), comesBackAsTree);
    save(driver);
    QCOMPARE(storedKey(QStringLiteral("treeexpands")).toStringList(), writtenBack);
    if (!comesBackAsTree)
        driver.press("btnStateView");
    QCOMPARE(driver.expandedBranches(), expanded);
}

void TestTabState::headerOfAnotherColumnCount_data()
{
    QTest::addColumn<int>("storedColumns");
    QTest::addColumn<bool>("moved");

    QTest::newRow("from a commands list") << 2 << false;
    QTest::newRow("from a commands list, moved") << 2 << true;
    QTest::newRow("from a wider view") << 7 << false;
    QTest::newRow("from a wider view, moved") << 7 << true;
}

// A file that became another kind of list since its columns were stored still shows a header of its
// own columns.
void TestTabState::headerOfAnotherColumnCount()
{
    QFETCH(int, storedColumns);
    QFETCH(bool, moved);

    QTreeView other;
    auto *columns = new QStandardItemModel(1, storedColumns, &other);
    other.setModel(columns);
    other.header()->resizeSection(0, 222);
    if (moved)
        other.header()->moveSection(0, 1);
    const QByteArray state = other.header()->saveState();
    QFile::remove(iniPath());
    writeKeys([&](QSettings &settings) { settings.setValue(QStringLiteral("header"), state); });

    TabDriver driver;
    restore(driver);
    QHeaderView *header = driver.view()->header();
    QCOMPARE(header->orientation(), Qt::Horizontal);
    QCOMPARE(header->count(), 5);
    QList<int> logical;
    for (int visual = 0; visual < 5; ++visual) {
        logical << header->logicalIndex(visual);
        QVERIFY(header->sectionSize(header->logicalIndex(visual)) > 0);
    }
    std::sort(logical.begin(), logical.end());
    QCOMPARE(logical, QList<int>({0, 1, 2, 3, 4}));
    QVERIFY(driver.isTree());
}

QTEST_MAIN(TestTabState)
#include "tst_tabstate.moc"
