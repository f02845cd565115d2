#include "app/Application.h"
#include "app/WinMain.h"
#include "dialogs/WinCheckUpdate.h"
#include "tab/WinTab.h"

#include <QDir>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScreen>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <memory>

// The window and its tabs come back, across runs, as they were left.
class TstWindowState : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void firstRunIsAnEmptyDefaultWindow();
    void roundTripKeepsFilesViewsAndCurrentTab();
    void deletedFileShiftsTheCurrentTab();
    void runWithoutPagesStoresAnEmptyList();
    void rawFileCarriesTheStoredNames();
    void offScreenGeometryKeepsOnlyItsSize();
    void partlyVisibleGeometryIsRestoredExactly_data();
    void partlyVisibleGeometryIsRestoredExactly();
    void damagedStoreNeverStopsStartUp_data();
    void damagedStoreNeverStopsStartUp();

private:
    QString writeList(const QString &name);
    std::unique_ptr<WinMain> startWindow();
    QSettings &store() { return qobject_cast<Application *>(QCoreApplication::instance())->settings; }
    void replaceStoreFile(const QByteArray &content);
    static QTabWidget *tabsOf(WinMain *window)
    {
        return window->findChild<QTabWidget *>(QStringLiteral("tabs"));
    }
    static WinTab *tabAt(WinMain *window, int i) { return qobject_cast<WinTab *>(tabsOf(window)->widget(i)); }
    static QTreeView *viewOf(WinTab *tab)
    {
        return tab->findChild<QTreeView *>(QStringLiteral("treeRefers"));
    }
    static bool showsTree(WinTab *tab)
    {
        return tab->findChild<QPushButton *>(QStringLiteral("btnStateView"))->toolTip()
            == QStringLiteral("Toggle to list view");
    }

    QTemporaryDir dir;
};

QString TstWindowState::writeList(const QString &name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("2 1200 header\n"
               "sim/a/one\tfloat\ty\tmeters\tFirst\n"
               "sim/a/two\tint\tn\tfeet\tSecond\n"
               "sim/b/three\tint\tn\tfeet\tThird\n"
               "sim/b/four/five\tint\tn\tfeet\tFourth\n");
    return path;
}

std::unique_ptr<WinMain> TstWindowState::startWindow()
{
    auto window = std::make_unique<WinMain>(nullptr);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get()))
        qWarning("window not exposed");
    return window;
}

void TstWindowState::replaceStoreFile(const QByteArray &content)
{
    store().clear();
    store().sync();
    QFile file(store().fileName());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the store");
    file.write(content);
    file.close();
    store().sync(); // nothing pending: this only reads the new file
}

void TstWindowState::init()
{
    QVERIFY(dir.isValid());
    store().clear();
    store().sync();
}

void TstWindowState::firstRunIsAnEmptyDefaultWindow()
{
    auto window = startWindow();
    QCOMPARE(window->size(), QSize(800, 600));
    QCOMPARE(tabsOf(window.get())->count(), 0);
}

void TstWindowState::roundTripKeepsFilesViewsAndCurrentTab()
{
    const QString first = writeList(QStringLiteral("first.txt"));
    const QString second = writeList(QStringLiteral("second.txt"));
    QRect geometry;
    int widthOfColumn0 = 0;
    {
        auto window = startWindow();
        window->setGeometry(QRect(QPoint(20, 30), QSize(760, 540))); // the headless screen is 800 × 600
        QVERIFY(window->addFileTab(first));
        QVERIFY(window->addFileTab(second));
        QVERIFY(window->addFileTab(first)); // the same file twice

        // The third page goes to tree view with its first branch open; the first page keeps the list.
        WinTab *third = tabAt(window.get(), 2);
        QTest::mouseClick(third->findChild<QPushButton *>(QStringLiteral("btnStateView")), Qt::LeftButton);
        QVERIFY(showsTree(third));
        QTreeView *view = viewOf(third);
        const QModelIndex top = view->model()->index(0, 0);
        view->expand(top);
        view->expand(view->model()->index(1, 0, top));
        view->header()->resizeSection(0, 321);
        widthOfColumn0 = view->header()->sectionSize(0);

        // Drag the second file to the front, then make the last page current.
        tabsOf(window.get())->tabBar()->moveTab(1, 0);
        tabsOf(window.get())->setCurrentIndex(2);
        geometry = window->geometry();
    }
    auto window = startWindow();
    QCOMPARE(window->geometry(), geometry);
    QTabWidget *tabs = tabsOf(window.get());
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabAt(window.get(), 0)->filePath(), second);
    QCOMPARE(tabAt(window.get(), 1)->filePath(), first);
    QCOMPARE(tabAt(window.get(), 2)->filePath(), first);
    QCOMPARE(tabs->currentIndex(), 2);

    QVERIFY(!showsTree(tabAt(window.get(), 0))); // left in list view, comes back so
    QVERIFY(!showsTree(tabAt(window.get(), 1)));
    WinTab *third = tabAt(window.get(), 2);
    QVERIFY(showsTree(third));
    QTreeView *view = viewOf(third);
    const QModelIndex top = view->model()->index(0, 0);
    QVERIFY(view->isExpanded(top));
    QVERIFY(view->isExpanded(view->model()->index(1, 0, top)));
    QVERIFY(!view->isExpanded(view->model()->index(0, 0, top)));
    QCOMPARE(view->header()->sectionSize(0), widthOfColumn0);
}

void TstWindowState::deletedFileShiftsTheCurrentTab()
{
    const QString a = writeList(QStringLiteral("a.txt"));
    const QString b = writeList(QStringLiteral("b.txt"));
    const QString c = writeList(QStringLiteral("c.txt"));
    {
        auto window = startWindow();
        for (const QString &path : {a, b, c})
            QVERIFY(window->addFileTab(path));
        tabsOf(window.get())->setCurrentIndex(1);
    }
    QVERIFY(QFile::remove(a));
    auto window = startWindow();
    QCOMPARE(tabsOf(window.get())->count(), 2);
    QCOMPARE(tabsOf(window.get())->currentIndex(), 1);
    QCOMPARE(tabAt(window.get(), 1)->filePath(), c);
}

void TstWindowState::runWithoutPagesStoresAnEmptyList()
{
    {
        auto window = startWindow();
        QVERIFY(window->addFileTab(writeList(QStringLiteral("x.txt"))));
        QVERIFY(window->addFileTab(writeList(QStringLiteral("y.txt"))));
    }
    {
        auto window = startWindow();
        QCOMPARE(tabsOf(window.get())->count(), 2);
        tabsOf(window.get())->tabBar()->setTabsClosable(true);
        while (tabsOf(window.get())->count())
            emit tabsOf(window.get())->tabCloseRequested(0);
    }
    store().beginGroup(QStringLiteral("class WinMain"));
    QCOMPARE(store().value(QStringLiteral("openfiles/size")).toInt(), 0);
    QCOMPARE(store().value(QStringLiteral("currtab")).toInt(), -1);
    store().endGroup();
    auto window = startWindow();
    QCOMPARE(tabsOf(window.get())->count(), 0);
}

void TstWindowState::rawFileCarriesTheStoredNames()
{
    const QString path = writeList(QStringLiteral("raw.txt"));
    {
        auto window = startWindow();
        QVERIFY(window->addFileTab(path));
    }
    store().sync();
    QFile file(store().fileName());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("[class%20WinMain]"));
    QVERIFY(content.contains("openfiles\\1\\filepath=" + path.toUtf8()));
    QVERIFY(content.contains("openfiles\\size=1"));
    QVERIFY(content.contains("currtab=0"));
}

void TstWindowState::offScreenGeometryKeepsOnlyItsSize()
{
    QRect desktop;
    for (QScreen *screen : QGuiApplication::screens())
        desktop |= screen->availableGeometry();
    const QRect faraway(desktop.right() + 5000, desktop.bottom() + 5000, 500, 400);
    store().setValue(QStringLiteral("class WinMain/geometry"), faraway);
    auto window = startWindow();
    QCOMPARE(window->size(), faraway.size());
    QVERIFY(desktop.intersects(window->geometry()));
}

void TstWindowState::partlyVisibleGeometryIsRestoredExactly_data()
{
    QTest::addColumn<QRect>("stored");
    QTest::addColumn<bool>("titleBarOffScreen"); // then moved down onto the screen, keeping its size

    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    QTest::newRow("half out on the right")
        << QRect(desktop.right() - 200, desktop.top() + 40, 500, 300) << false;
    QTest::newRow("larger than the screen")
        << QRect(desktop.left() + 30, desktop.top() + 40, desktop.width() + 400, desktop.height() + 300)
        << false;
    QTest::newRow("top edge above the screen")
        << QRect(desktop.left() + 100, desktop.top() - 200, 400, 500) << true;
}

void TstWindowState::partlyVisibleGeometryIsRestoredExactly()
{
    QFETCH(QRect, stored);
    QFETCH(bool, titleBarOffScreen);
    store().setValue(QStringLiteral("class WinMain/geometry"), stored);
    auto window = startWindow();
    if (!titleBarOffScreen) {
        QCOMPARE(window->geometry(), stored);
        return;
    }
    const QRect desktop = QGuiApplication::primaryScreen()->availableGeometry();
    const int titleHeight = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    QCOMPARE(window->size(), stored.size());
    QCOMPARE(window->geometry().x(), stored.x());
    QCOMPARE(window->geometry().y() - titleHeight, desktop.top());
}

void TstWindowState::damagedStoreNeverStopsStartUp_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("pages"); // what the damaged store can still give

    QByteArray noise(8192, '\0');
    QRandomGenerator generator(20261207);
    for (char &byte : noise)
        byte = char(generator.bounded(256));
    const QByteArray goodFile = "openfiles\\1\\filepath=@PATH@\n";

    QTest::newRow("random bytes") << noise << 0;
    QTest::newRow("random bytes after a good group")
        << QByteArray("[class%20WinMain]\n" + goodFile + "openfiles\\size=1\n" + noise) << -1;
    QTest::newRow("keys of the wrong type")
        << QByteArray("[class%20WinMain]\ngeometry=not a rectangle\ncurrtab=xyz\n"
                      "openfiles\\size=many\n"
                      + goodFile)
        << 1; // without a valid count the elements that are there are read
    QTest::newRow("tab keys of the wrong type")
        << QByteArray("[class%20WinMain]\nopenfiles\\size=1\n" + goodFile
                      + "openfiles\\1\\istreeview=maybe\nopenfiles\\1\\treeexpands=@Rect(1 2 3 4)\n"
                        "openfiles\\1\\header=@ByteArray(\\0\\0\\0\\xff\\x1\\x2garbage)\n")
        << 1;
    QTest::newRow("huge array size, few elements") << QByteArray(
        "[class%20WinMain]\nopenfiles\\size=1000000\n" + goodFile + "openfiles\\2\\filepath=@PATH@\n")
                                                   << 2;
    QTest::newRow("negative current tab")
        << QByteArray("[class%20WinMain]\nopenfiles\\size=1\ncurrtab=-7\n" + goodFile) << 1;
    QTest::newRow("huge current tab")
        << QByteArray("[class%20WinMain]\nopenfiles\\size=1\ncurrtab=2147483647\n" + goodFile) << 1;
    QTest::newRow("files that vanished")
        << QByteArray("[class%20WinMain]\nopenfiles\\size=2\nopenfiles\\1\\filepath=/nonexistent/a.txt\n"
                      "openfiles\\2\\filepath=/nonexistent/b.txt\ncurrtab=1\n")
        << 0;
    QTest::newRow("absurd geometry") << QByteArray(
        "[class%20WinMain]\ngeometry=@Rect(-2147483647 -2147483647 2147483647 2147483647)\n")
                                     << 0;
}

void TstWindowState::damagedStoreNeverStopsStartUp()
{
    QFETCH(QByteArray, content);
    QFETCH(int, pages);
    const QString path = writeList(QStringLiteral("kept.txt"));
    content.replace("@PATH@", path.toUtf8());
    replaceStoreFile(content);
    {
        auto window = startWindow();
        if (pages >= 0)
            QCOMPARE(tabsOf(window.get())->count(), pages);
        QVERIFY(tabsOf(window.get())->count() <= 2);
        for (int i = 0; i < tabsOf(window.get())->count(); ++i)
            QCOMPARE(tabAt(window.get(), i)->filePath(), path);
        QVERIFY(window->width() <= 16777215 && window->height() <= 16777215);
    }
    // Rewritten cleanly at exit: the next run reads exactly what this one left.
    store().sync();
    store().beginGroup(QStringLiteral("class WinMain"));
    bool ok = false;
    const int size = store().value(QStringLiteral("openfiles/size")).toInt(&ok);
    QVERIFY(ok);
    const int current = store().value(QStringLiteral("currtab")).toInt(&ok);
    QVERIFY(ok);
    QVERIFY(current >= -1 && current < qMax(size, 1));
    QVERIFY(store().value(QStringLiteral("geometry")).toRect().isValid());
    store().endGroup();
    auto again = startWindow();
    QCOMPARE(tabsOf(again.get())->count(), size);
}

int main(int argc, char *argv[])
{
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    Application app(argc, argv);
    WinCheckUpdate::setUpdateHost("http://127.0.0.1:1");
    TstWindowState test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windowstate.moc"
