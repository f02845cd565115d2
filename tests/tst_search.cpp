#include "tests/MessageBoxAnswerer.h"
#include "tests/TabDriver.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QtTest>

class TestSearch : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void results_data();
    void results();
    void placeholderIsAReference_data();
    void placeholderIsAReference();
    void secondSearchThenClearRestoresFullTree();
    void clearWithoutSearch_data();
    void clearWithoutSearch();
    void togglingKeepsResults();
    void searchLeavesReferenceFieldAlone();
    void emptyFileGivesPlaceholder();

private:
    QString samplePath() const { return dir.filePath(QStringLiteral("DataRefs.txt")); }
    void open(TabDriver &driver, bool tree)
    {
        QVERIFY(driver.tab->loadFile(samplePath()));
        if (tree)
            driver.press("btnStateView");
    }

    QTemporaryDir dir;
};

static const QString green = QStringLiteral("background-color: #e0ffe4");
static const QString white = QStringLiteral("background-color: white");
// The first 66 characters of two paths of more than 64.
static const QString headingPath
    = QStringLiteral("zzz/cockpit2/radios/indicators/nav1_relative_heading_electric_deg_");

void TestSearch::initTestCase()
{
    QVERIFY(dir.isValid());
    const QByteArray heading = headingPath.toUtf8();
    QVERIFY(TabDriver::writeFile(samplePath(),
                                 TabDriver::sampleList() + heading + "copilot\tint\tn\tdegrees\n" + heading
                                     + "pilot\tint\tn\tdegrees\n"));
}

void TestSearch::results_data()
{
    QTest::addColumn<bool>("tree");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("byButton");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QStringList>("shown");

    // "float" is a type, part of a path and part of descriptions; local_x has it twice.
    QTest::newRow("float as a list") << false << "float" << false << "Found: 4 "
                                     << QStringList {"1 - sim/cockpit/radios/com1",
                                                     "2 - sim/flightmodel/position/local_x",
                                                     "3 - sim/time/floaty", "4 - sim/time/total"};
    QTest::newRow("float as a tree") << true << "float" << true << "Found: 4 "
                                     << QStringList {"sim/cockpit/radios/com1",
                                                     "sim/flightmodel/position/local_x", "sim/time/floaty",
                                                     "sim/time/total"};
    QTest::newRow("Sim is case-sensitive")
        << false << "Sim" << true << "Found: 1 " << QStringList {"1 - sim/time/total"};
    QTest::newRow("sim") << true << "sim" << false << "Found: 6 "
                         << QStringList {"sim/cockpit/autopilot/mode",
                                         "sim/cockpit/radios/com1",
                                         "sim/flightmodel/position/elevation",
                                         "sim/flightmodel/position/local_x",
                                         "sim/time/floaty",
                                         "sim/time/total"};
    QTest::newRow("blanks count") << false << "Total Sim" << false << "Found: 1 "
                                  << QStringList {"1 - sim/time/total"};
    QTest::newRow("inner path piece")
        << false << "/other/" << false << "Found: 1 " << QStringList {"1 - zzz/other/leaf"};
    QTest::newRow("one field at a time")
        << false << "floaty\tint" << false << "Found: 0 " << QStringList {"1 - Not found"};
    // A record keeps its path and its fields side by side; a text must not run from one into the other.
    QTest::newRow("path and type do not join")
        << false << "local_xfloat" << false << "Found: 0 " << QStringList {"1 - Not found"};
    QTest::newRow("no match, list") << false << "nothing" << true << "Found: 0 "
                                    << QStringList {"1 - Not found"};
    QTest::newRow("no match, tree") << true << "nothing" << false << "Found: 0 " << QStringList {"Not found"};
    QTest::newRow("empty text, list") << false << "" << false << "Found: 0 " << QStringList {"1 - Not found"};
    QTest::newRow("empty text, tree") << true << "" << true << "Found: 0 " << QStringList {"Not found"};
    QTest::newRow("a whole path of 73 characters") << false << headingPath + "copilot" << false << "Found: 1 "
                                                   << QStringList {"1 - " + headingPath + "copilot"};
}

void TestSearch::results()
{
    QFETCH(bool, tree);
    QFETCH(QString, text);
    QFETCH(bool, byButton);
    QFETCH(QString, label);
    QFETCH(QStringList, shown);

    TabDriver driver;
    open(driver, tree);
    // The whole file was scrolled far down; the results still show from their first row.
    if (tree)
        driver.press("btnExpandAll");
    driver.scrollToEnd();
    if (byButton) {
        driver.searchField()->setText(text);
        driver.press("btnSearch");
    } else {
        // A tab cannot be typed into the field: it moves the focus on.
        if (text.contains(QLatin1Char('\t')))
            driver.searchField()->setText(text);
        else
            QTest::keyClicks(driver.searchField(), text);
        QTest::keyClick(driver.searchField(), Qt::Key_Return);
    }
    QCOMPARE(driver.findLabel()->text(), label);
    QCOMPARE(driver.searchField()->styleSheet(), green);
    QCOMPARE(driver.isTree(), tree);
    QCOMPARE(driver.shown(), shown);
    QVERIFY(driver.everyBranchExpanded());
    QVERIFY(driver.model()->rowCount() > 0);
    QVERIFY(driver.showsFirstRow());
}

void TestSearch::placeholderIsAReference_data()
{
    QTest::addColumn<bool>("tree");
    QTest::newRow("tree") << true;
    QTest::newRow("list") << false;
}

void TestSearch::placeholderIsAReference()
{
    QFETCH(bool, tree);

    TabDriver driver;
    open(driver, tree);
    driver.search(QStringLiteral("nothing"));
    QCOMPARE(driver.model()->rowCount(), 1);
    QVERIFY(!driver.model()->hasChildren(driver.model()->index(0, 0)));
    driver.click(QStringLiteral("Not found"));
    QCOMPARE(driver.currRef()->text(), QStringLiteral("Not found"));
    QCOMPARE(driver.currRef()->styleSheet(), green);

    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    MessageBoxAnswerer answerer;
    QTest::keyClick(driver.view(), Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("Not found"));
    QVERIFY(!answerer.appeared());
}

void TestSearch::secondSearchThenClearRestoresFullTree()
{
    TabDriver driver;
    open(driver, true);
    driver.expand("sim/cockpit/radios");
    const QStringList before = driver.expandedBranches();
    QCOMPARE(before, QStringList({"sim", "sim/cockpit", "sim/cockpit/radios"}));

    driver.search(QStringLiteral("float"));
    QCOMPARE(driver.findLabel()->text(), QStringLiteral("Found: 4 "));
    // Branches opened and closed in the results are not those of the full tree.
    driver.click(QStringLiteral("sim/time"));
    QTest::keyClick(driver.view(), Qt::Key_Left);
    driver.search(QStringLiteral("elevation"));
    QCOMPARE(driver.findLabel()->text(), QStringLiteral("Found: 1 "));
    QCOMPARE(driver.shown(), QStringList({"sim/flightmodel/position/elevation"}));
    QVERIFY(driver.everyBranchExpanded());

    driver.scrollToEnd();
    driver.press("btnClearSearch");
    QCOMPARE(driver.findLabel()->text(), QStringLiteral("Find:"));
    QVERIFY(driver.searchField()->text().isEmpty());
    QCOMPARE(driver.searchField()->styleSheet(), white);
    QCOMPARE(driver.shown().size(), 9);
    QCOMPARE(driver.expandedBranches(), before);
    QVERIFY(driver.showsFirstRow());
}

void TestSearch::clearWithoutSearch_data()
{
    QTest::addColumn<bool>("tree");
    QTest::addColumn<int>("rows");
    QTest::newRow("list") << false << 9;
    QTest::newRow("tree") << true << 2;
}

void TestSearch::clearWithoutSearch()
{
    QFETCH(bool, tree);
    QFETCH(int, rows);

    TabDriver driver;
    open(driver, tree);
    QTest::keyClicks(driver.searchField(), QStringLiteral("typed, not searched"));
    driver.press("btnClearSearch");
    QCOMPARE(driver.isTree(), tree);
    QCOMPARE(driver.model()->rowCount(), rows);
    QCOMPARE(driver.searchField()->styleSheet(), white);
    QVERIFY(driver.searchField()->text().isEmpty());
    QCOMPARE(driver.findLabel()->text(), QStringLiteral("Find:"));
}

void TestSearch::togglingKeepsResults()
{
    TabDriver driver;
    open(driver, true);
    driver.search(QStringLiteral("float"));
    driver.click(QStringLiteral("sim/flightmodel"));
    QTest::keyClick(driver.view(), Qt::Key_Left);
    QCOMPARE(
        driver.expandedBranches(),
        QStringList({"sim", "sim/cockpit", "sim/cockpit/radios", "sim/flightmodel/position", "sim/time"}));

    driver.press("btnStateView");
    QVERIFY(!driver.isTree());
    QCOMPARE(driver.shown(),
             QStringList({"1 - sim/cockpit/radios/com1", "2 - sim/flightmodel/position/local_x",
                          "3 - sim/time/floaty", "4 - sim/time/total"}));
    QCOMPARE(driver.findLabel()->text(), QStringLiteral("Found: 4 "));

    // The result tree comes back as it was left, not fully expanded; what was hidden under the
    // collapsed branch is not remembered.
    driver.press("btnStateView");
    QVERIFY(driver.isTree());
    QCOMPARE(driver.shown().size(), 4);
    QCOMPARE(driver.expandedBranches(),
             QStringList({"sim", "sim/cockpit", "sim/cockpit/radios", "sim/time"}));

    driver.press("btnClearSearch");
    QCOMPARE(driver.shown().size(), 9);
    QVERIFY(driver.expandedBranches().isEmpty());
}

void TestSearch::searchLeavesReferenceFieldAlone()
{
    TabDriver driver;
    open(driver, true);
    driver.click(QStringLiteral("sim/cockpit"));
    driver.search(QStringLiteral("float"));
    QCOMPARE(driver.currRef()->text(), QStringLiteral("sim/cockpit"));
    QCOMPARE(driver.currRef()->styleSheet(), QStringLiteral("background-color: #ffe0e0"));
    driver.press("btnClearSearch");
    QCOMPARE(driver.currRef()->text(), QStringLiteral("sim/cockpit"));
}

void TestSearch::emptyFileGivesPlaceholder()
{
    const QString empty = dir.filePath(QStringLiteral("empty.txt"));
    QVERIFY(TabDriver::writeFile(empty, QByteArray()));
    TabDriver driver;
    QVERIFY(driver.tab->loadFile(empty));
    driver.search(QStringLiteral("a"));
    QCOMPARE(driver.findLabel()->text(), QStringLiteral("Found: 0 "));
    QCOMPARE(driver.shown(), QStringList({"1 - Not found"}));
    QCOMPARE(driver.model()->columnCount(), 2);
}

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
