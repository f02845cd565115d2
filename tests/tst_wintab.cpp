#include "tests/MessageBoxAnswerer.h"
#include "tests/TabDriver.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QGridLayout>
#include <QHeaderView>
#include <QGuiApplication>
#include <QIcon>
#include <QItemSelectionModel>
#include <QPointer>
#include <QScopeGuard>
#include <QStyleFactory>
#include <QTemporaryDir>
#include <QtTest>

class TestWinTab : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void formControls_data();
    void formControls();
    void formGrid();
    void labelsShowTheirWholeText_data();
    void labelsShowTheirWholeText();

    void newFileShowsList();
    void firstLayoutFitsTheRecords();
    void toggleFlipsModeAndRestoresBranches();
    void expandAndCollapseAll();

    void clickShowsReference_data();
    void clickShowsReference();
    void arrowKeysLeaveReferenceAlone();
    void longPathIsCutByTheField();
    void findKeyFocusesTheSearchField();

    void copy_data();
    void copy();

    void secondLoadKeepsFirstFile();
    void missingFileGivesNoModels();
    void nonLatinPathLoads_data();
    void nonLatinPathLoads();
    void replacedModelsLeaveNoSelectionModels();

private:
    QString samplePath() const { return dir.filePath(QStringLiteral("DataRefs.txt")); }
    void loadSample(TabDriver &driver) { QVERIFY(driver.tab->loadFile(samplePath())); }
    static QImage iconImage(const QIcon &icon) { return icon.pixmap(25, 25).toImage(); }

    QTemporaryDir dir;
};

void TestWinTab::initTestCase()
{
    QVERIFY(dir.isValid());
    QVERIFY(TabDriver::writeFile(samplePath(), TabDriver::sampleList()));
}

void TestWinTab::formControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<QString>("icon");

    const QSize button(30, 30);
    QTest::newRow("collapse all") << "btnCollapseAll" << button << button << "Collapse All"
                                  << "collapseAll.png";
    QTest::newRow("expand all") << "btnExpandAll" << button << button << "Expans all"
                                << "expandAll.png";
    QTest::newRow("search") << "btnSearch" << button << button << "Start search"
                            << "search.png";
    QTest::newRow("clear search") << "btnClearSearch" << button << button << "Clear search"
                                  << "erase.png";
    QTest::newRow("search field") << "txtSearch" << QSize(100, 25) << QSize(200, 25) << ""
                                  << "";
    QTest::newRow("reference field") << "txtCurrRef" << QSize(200, 25) << QSize(QWIDGETSIZE_MAX, 25) << ""
                                     << "";
}

void TestWinTab::formControls()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);
    QFETCH(QString, toolTip);
    QFETCH(QString, icon);

    TabDriver driver;
    QWidget *widget = driver.child(qPrintable(name));
    QCOMPARE(widget->minimumSize(), minimum);
    QCOMPARE(widget->maximumSize(), maximum);
    QCOMPARE(widget->toolTip(), toolTip);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QVERIFY(button->text().isEmpty());
        QCOMPARE(button->iconSize(), QSize(25, 25));
        QCOMPARE(iconImage(button->icon()), iconImage(QIcon(":/icons32/" + icon)));
    }
}

void TestWinTab::formGrid()
{
    TabDriver driver;
    QCOMPARE(driver.tab->objectName(), QStringLiteral("WinTab"));
    QCOMPARE(driver.tab->windowTitle(), QStringLiteral("Frame"));
    QCOMPARE(driver.tab->frameShape(), QFrame::StyledPanel);
    QCOMPARE(driver.tab->frameShadow(), QFrame::Raised);

    auto *outer = driver.child<QGridLayout>("gridLayout_2");
    auto *grid = driver.child<QGridLayout>("gridLayout");
    QCOMPARE(driver.tab->layout(), outer);
    QCOMPARE(outer->count(), 1);
    QCOMPARE(outer->itemAtPosition(0, 0)->layout(), grid);

    const QStringList controls
        = {"btnStateView", "btnCollapseAll", "btnExpandAll", "line_2",  "label",     "txtSearch",
           "btnSearch",    "btnClearSearch", "line",         "label_2", "txtCurrRef"};
    for (int column = 0; column < controls.size(); ++column)
        QCOMPARE(grid->itemAtPosition(0, column)->widget()->objectName(), controls.at(column));
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(driver.view()), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({1, 0, 1, 11}));

    QCOMPARE(driver.findLabel()->text(), QStringLiteral("Find:"));
    QCOMPARE(driver.child<QLabel>("label_2")->text(), QStringLiteral("Ref:"));
    QCOMPARE(driver.searchField()->maxLength(), 256);
    QCOMPARE(driver.currRef()->maxLength(), 256);
    QVERIFY(driver.currRef()->isReadOnly());
    QVERIFY(!driver.searchField()->isReadOnly());

    TreeView *view = driver.view();
    QCOMPARE(view->sizePolicy().horizontalStretch(), 100);
    QCOMPARE(view->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(view->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(view->minimumWidth(), 300);
    QVERIFY(!view->showDropIndicator());
    QVERIFY(!view->alternatingRowColors());
    QVERIFY(!view->isHeaderHidden());
    QVERIFY(view->header()->stretchLastSection());
}

void TestWinTab::labelsShowTheirWholeText_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("designedWidth");
    QTest::addColumn<QString>("text");

    QTest::newRow("find label") << "label" << 75 << "Find:";
    QTest::newRow("count of a search") << "label" << 75 << "Found: 1200 ";
    QTest::newRow("ref label") << "label_2" << 25 << "Ref:";
}

// The labels keep the form's fixed widths, widened only when the font needs more room.
void TestWinTab::labelsShowTheirWholeText()
{
    QFETCH(QString, name);
    QFETCH(int, designedWidth);
    QFETCH(QString, text);

    QByteArray many;
    for (int record = 0; record < 1200; ++record)
        many += "x/" + QByteArray::number(record) + " Description\n";
    const QString path = dir.filePath(QStringLiteral("many.txt"));
    QVERIFY(TabDriver::writeFile(path, many));
    TabDriver driver;
    QVERIFY(driver.tab->loadFile(path));
    if (text.startsWith(QLatin1String("Found")))
        driver.search(QStringLiteral("x/"));

    auto *label = driver.child<QLabel>(qPrintable(name));
    QCOMPARE(label->text(), text);
    QCOMPARE(label->minimumWidth(), label->maximumWidth());
    QVERIFY(label->minimumWidth() >= designedWidth);
    QVERIFY2(label->minimumWidth() >= label->sizeHint().width(),
             qPrintable(QString::number(label->sizeHint().width())));
    QCOMPARE(label->alignment(), Qt::AlignRight | Qt::AlignVCenter);
}

void TestWinTab::newFileShowsList()
{
    TabDriver driver;
    loadSample(driver);
    auto *toggle = driver.child<QPushButton>("btnStateView");
    QCOMPARE(toggle->toolTip(), QStringLiteral("Toggle to tree view"));
    QCOMPARE(iconImage(toggle->icon()), iconImage(QIcon(":/icons32/tree.png")));
    QVERIFY(iconImage(toggle->icon()) != iconImage(QIcon(":/icons32/list.png")));
    QVERIFY(!driver.child("btnCollapseAll")->isEnabled());
    QVERIFY(!driver.child("btnExpandAll")->isEnabled());
    QVERIFY(!driver.isTree());
    QCOMPARE(driver.shown(),
             QStringList({"1 - sim/cockpit/autopilot/mode", "2 - sim/cockpit/radios/com1",
                          "3 - sim/flightmodel/position/elevation", "4 - sim/flightmodel/position/local_x",
                          "5 - sim/time/floaty", "6 - sim/time/total", "7 - zzz/other/leaf"}));
    QCOMPARE(driver.tab->filePath(), samplePath());
}

// In a short list every text counts: Type, Writable and Units fit their widest text or their title, no
// more; the path column fits nearly every path; Description takes the rest.
void TestWinTab::firstLayoutFitsTheRecords()
{
    TabDriver driver;
    loadSample(driver);
    const QHeaderView *header = driver.view()->header();
    const QAbstractItemView *view = driver.view(); // where the view's measure of a column is public
    for (int column = 1; column <= 3; ++column) {
        const int fitted = std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
        QVERIFY2(qAbs(header->sectionSize(column) - fitted) <= 2, qPrintable(QString::number(column)));
    }
    QVERIFY(header->sectionSize(0) >= view->sizeHintForColumn(0) * 9 / 10);
    QCOMPARE(header->sectionViewportPosition(4) + header->sectionSize(4), driver.view()->viewport()->width());
}

void TestWinTab::toggleFlipsModeAndRestoresBranches()
{
    TabDriver driver;
    loadSample(driver);
    auto *toggle = driver.child<QPushButton>("btnStateView");

    driver.press("btnStateView");
    QVERIFY(driver.isTree());
    QCOMPARE(toggle->toolTip(), QStringLiteral("Toggle to list view"));
    QCOMPARE(iconImage(toggle->icon()), iconImage(QIcon(":/icons32/list.png")));
    QVERIFY(driver.child("btnCollapseAll")->isEnabled());
    QVERIFY(driver.child("btnExpandAll")->isEnabled());
    QCOMPARE(driver.model()->rowCount(), 2);
    QVERIFY(driver.expandedBranches().isEmpty());

    driver.expand("sim/flightmodel/position");
    driver.expand("sim/time");
    driver.expand("zzz");
    const QStringList expanded = {"sim", "sim/flightmodel", "sim/flightmodel/position", "sim/time", "zzz"};
    QCOMPARE(driver.expandedBranches(), expanded);

    driver.scrollToEnd();
    driver.press("btnStateView");
    QVERIFY(!driver.isTree());
    QCOMPARE(toggle->toolTip(), QStringLiteral("Toggle to tree view"));
    QCOMPARE(iconImage(toggle->icon()), iconImage(QIcon(":/icons32/tree.png")));
    QVERIFY(!driver.child("btnCollapseAll")->isEnabled());
    QCOMPARE(driver.model()->rowCount(), 7);
    QVERIFY(driver.showsFirstRow());

    // Branches are remembered only below the first top-level branch; the tree opens at its top.
    driver.scrollToEnd();
    driver.press("btnStateView");
    QVERIFY(driver.isTree());
    QCOMPARE(driver.expandedBranches(), expanded.mid(0, 4));
    QVERIFY(driver.showsFirstRow());
}

void TestWinTab::expandAndCollapseAll()
{
    TabDriver driver;
    loadSample(driver);
    driver.press("btnStateView");
    driver.press("btnExpandAll");
    QVERIFY(driver.everyBranchExpanded());
    QCOMPARE(driver.expandedBranches().size(), 9);
    driver.press("btnCollapseAll");
    QVERIFY(driver.expandedBranches().isEmpty());
}

void TestWinTab::clickShowsReference_data()
{
    QTest::addColumn<bool>("tree");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("style");
    QTest::addColumn<bool>("darkDesktop");

    const QString green = QStringLiteral("background-color: #e0ffe4");
    const QString red = QStringLiteral("background-color: #ffe0e0");
    QTest::newRow("tree leaf") << true << "sim/flightmodel/position/local_x" << green << false;
    QTest::newRow("tree branch") << true << "sim/flightmodel" << red << false;
    QTest::newRow("top-level branch") << true << "zzz" << red << false;
    QTest::newRow("list row, no number") << false << "sim/time/floaty" << green << false;
    QTest::newRow("desktop turns dark") << true << "sim/cockpit" << red << true;
}

void TestWinTab::clickShowsReference()
{
    QFETCH(bool, tree);
    QFETCH(QString, path);
    QFETCH(QString, style);
    QFETCH(bool, darkDesktop);

    const QPalette desktop = QApplication::palette();
    const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });
    QPalette dark = desktop;
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    if (darkDesktop)
        QApplication::setPalette(dark);

    TabDriver driver;
    loadSample(driver);
    if (tree)
        driver.press("btnStateView");
    driver.click(path);
    QCOMPARE(driver.currRef()->text(), path);
    QCOMPARE(driver.currRef()->styleSheet(), style);
    QCOMPARE(driver.currRef()->toolTip(), path);
    QCOMPARE(driver.currRef()->cursorPosition(), 0); // a path wider than the field shows its start

    // Text on a light tint is dark: the desktop's own text colour where it is dark, black where not.
    const auto text = [](QWidget *field) { return field->palette().color(QPalette::Text); };
    if (!darkDesktop) {
        QCOMPARE(text(driver.currRef()), desktop.color(QPalette::Text));
        return;
    }
    QCOMPARE(text(driver.currRef()), QColor(Qt::black));
    QCOMPARE(text(driver.searchField()), dark.color(QPalette::Text)); // no tint yet
    // While the program runs, a new style polishes the field again and a new palette comes.
    QApplication::setStyle(QStyleFactory::create(QApplication::style()->objectName()));
    QCOMPARE(text(driver.currRef()), QColor(Qt::black));
    QPalette navy = desktop;
    navy.setColor(QPalette::Text, QColor(0, 0, 128));
    QApplication::setPalette(navy);
    QCOMPARE(text(driver.currRef()), navy.color(QPalette::Text));
}

void TestWinTab::arrowKeysLeaveReferenceAlone()
{
    TabDriver driver;
    loadSample(driver);
    driver.click("sim/cockpit/radios/com1");
    const QModelIndex before = driver.view()->currentIndex();
    QTest::keyClick(driver.view(), Qt::Key_Down);
    QTest::keyClick(driver.view(), Qt::Key_Down);
    QCOMPARE(driver.view()->currentIndex().row(), before.row() + 2);
    QCOMPARE(driver.currRef()->text(), QStringLiteral("sim/cockpit/radios/com1"));
    QCOMPARE(driver.currRef()->styleSheet(), QStringLiteral("background-color: #e0ffe4"));
}

void TestWinTab::longPathIsCutByTheField()
{
    const QString longPath = "a/" + QString(300, QLatin1Char('x'));
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    QVERIFY(TabDriver::writeFile(path, longPath.toUtf8() + "\tdescription\n"));
    TabDriver driver;
    QVERIFY(driver.tab->loadFile(path));
    driver.click(longPath);
    QCOMPARE(driver.currRef()->text(), longPath.left(256));
}

void TestWinTab::findKeyFocusesTheSearchField()
{
    TabDriver driver;
    loadSample(driver);
    driver.tab->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(driver.tab.get()));
    QTest::keyClicks(driver.searchField(), QStringLiteral("float"));
    driver.click("sim/time/total");
    QVERIFY(driver.view()->hasFocus());
    QTest::keyClick(driver.view(), Qt::Key_F, Qt::ControlModifier);
    QVERIFY(driver.searchField()->hasFocus());
    QCOMPARE(driver.searchField()->selectedText(), QStringLiteral("float"));
}

void TestWinTab::copy_data()
{
    QTest::addColumn<bool>("tree");
    QTest::addColumn<QString>("select");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("clipboard");
    QTest::addColumn<bool>("warned");

    const int control = Qt::ControlModifier;
    QTest::newRow("tree leaf") << true << "sim/time/total" << control << "sim/time/total" << false;
    QTest::newRow("tree branch, after the warning")
        << true << "sim/cockpit/radios" << control << "sim/cockpit/radios" << true;
    QTest::newRow("list row without its number")
        << false << "sim/time/floaty" << control << "sim/time/floaty" << false;
    QTest::newRow("ctrl+shift+c is no copy")
        << true << "sim/time/total" << int(Qt::ControlModifier | Qt::ShiftModifier) << "untouched" << false;
    QTest::newRow("nothing selected") << true << "" << control << "untouched" << false;
}

void TestWinTab::copy()
{
    QFETCH(bool, tree);
    QFETCH(QString, select);
    QFETCH(int, modifiers);
    QFETCH(QString, clipboard);
    QFETCH(bool, warned);

    QGuiApplication::clipboard()->setText(QStringLiteral("untouched"));
    TabDriver driver;
    loadSample(driver);
    if (tree)
        driver.press("btnStateView");
    if (!select.isEmpty())
        driver.click(select);

    MessageBoxAnswerer answerer;
    QTest::keyClick(driver.view(), Qt::Key_C, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QGuiApplication::clipboard()->text(QClipboard::Clipboard), clipboard);
    QCOMPARE(answerer.appeared(), warned);
    if (warned) {
        QCOMPARE(answerer.title(), QStringLiteral("Warning"));
        QCOMPARE(answerer.text(), QStringLiteral("Copying a part of the reference!."));
    }
}

void TestWinTab::secondLoadKeepsFirstFile()
{
    const QString other = dir.filePath(QStringLiteral("Commands.txt"));
    QVERIFY(TabDriver::writeFile(other, "a/b/go  Go somewhere.\n"));
    TabDriver driver;
    loadSample(driver);
    QVERIFY(!driver.tab->loadFile(other));
    QCOMPARE(driver.tab->filePath(), samplePath());
    QCOMPARE(driver.model()->rowCount(), 7);
    QCOMPARE(driver.model()->columnCount(), 5);
}

void TestWinTab::missingFileGivesNoModels()
{
    const QString missing = dir.filePath(QStringLiteral("missing.txt"));
    TabDriver driver;
    QVERIFY(!driver.tab->loadFile(missing));
    QCOMPARE(driver.tab->filePath(), missing);
    QVERIFY(!driver.model());
    QVERIFY(driver.tab->loadFile(samplePath()));
    QCOMPARE(driver.model()->rowCount(), 7);
}

void TestWinTab::nonLatinPathLoads_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("file");

    QTest::newRow("cyrillic") << QStringLiteral("Данные") << QStringLiteral("Команды.txt");
    QTest::newRow("greek") << QStringLiteral("Δεδομένα") << QStringLiteral("αρχείο.txt");
    QTest::newRow("cjk") << QStringLiteral("資料") << QStringLiteral("参照.txt");
    QTest::newRow("latin-1 accents") << QStringLiteral("Données") << QStringLiteral("référence.txt");
}

void TestWinTab::nonLatinPathLoads()
{
    QFETCH(QString, folder);
    QFETCH(QString, file);

    QVERIFY(QDir(dir.path()).mkpath(folder));
    const QString path = dir.filePath(folder + QLatin1Char('/') + file);
    QVERIFY(TabDriver::writeFile(path, "a/b/go  Go somewhere.\n"));
    TabDriver driver;
    QVERIFY(driver.tab->loadFile(path));
    QCOMPARE(driver.tab->filePath(), path);
    QCOMPARE(driver.shown(), QStringList({"1 - a/b/go"}));
}

void TestWinTab::replacedModelsLeaveNoSelectionModels()
{
    TabDriver driver;
    loadSample(driver);
    QPointer<QItemSelectionModel> first = driver.view()->selectionModel();
    for (int round = 0; round < 50; ++round) {
        driver.press("btnStateView");
        driver.search(QStringLiteral("float"));
        driver.press("btnStateView");
        driver.press("btnClearSearch");
    }
    QVERIFY(first.isNull());
    QCOMPARE(driver.view()->findChildren<QItemSelectionModel *>().size(), 1);
    QCOMPARE(driver.view()->findChildren<QItemSelectionModel *>().first(), driver.view()->selectionModel());
}

QTEST_MAIN(TestWinTab)
#include "tst_wintab.moc"
