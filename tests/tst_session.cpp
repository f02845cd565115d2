// A whole working session in one window: both lists opened, each toggled, expanded, searched,
// copied from and cleared, the tabs closed and the program quit. It is also the session that
// scripts/valgrind-session.sh runs under memcheck; with REFSCOPE_SESSION_DATA naming a folder that
// holds DataRefs.txt and Commands.txt it uses those files instead of generated ones.
#include "app/Application.h"
#include "app/WinMain.h"
#include "dialogs/WinCheckUpdate.h"
#include "tab/WinTab.h"

#include <QAbstractItemModel>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

namespace {

// Lists shaped like the real ones: a header, deep and wide branches, units, descriptions.
QByteArray datarefsText(int records)
{
    static const char *const areas[]
        = {"aircraft", "cockpit", "cockpit2", "flightmodel", "weather", "operation"};
    static const char *const groups[] = {"autopilot", "engine", "electrical", "gear", "controls", "radios"};
    static const char *const types[] = {"float", "int", "double", "float[8]", "byte[500]"};
    QByteArray text("2 1200 This is the DataRefs list\n\n");
    for (int i = 0; i < records; ++i) {
        text += "sim/" + QByteArray(areas[i % 6]) + '/' + groups[(i / 6) % 6] + "/value_"
            + QByteArray::number(i) + '\t' + types[i % 5] + '\t' + (i % 3 ? "y" : "n") + '\t'
            + (i % 4 ? "meters" : "") + "\tValue " + QByteArray::number(i) + " of the " + groups[(i / 6) % 6]
            + '\n';
    }
    return text;
}

QByteArray commandsText(int records)
{
    static const char *const areas[] = {"operation", "view", "autopilot", "engines", "lights"};
    QByteArray text;
    for (int i = 0; i < records; ++i) {
        text += "sim/" + QByteArray(areas[i % 5]) + "/command_" + QByteArray::number(i)
            + QByteArray(4 + i % 20, ' ') + "Does thing " + QByteArray::number(i) + ".\n";
    }
    return text;
}

} // namespace

class TestSession : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void wholeSession();

private:
    QTemporaryDir dir;
    QString datarefsPath;
    QString commandsPath;
};

void TestSession::initTestCase()
{
    const QString given = qEnvironmentVariable("REFSCOPE_SESSION_DATA");
    if (!given.isEmpty()) {
        datarefsPath = QDir(given).filePath(QStringLiteral("DataRefs.txt"));
        commandsPath = QDir(given).filePath(QStringLiteral("Commands.txt"));
        QVERIFY2(QFile::exists(datarefsPath) && QFile::exists(commandsPath), qPrintable(given));
        return;
    }
    QVERIFY(dir.isValid());
    datarefsPath = dir.filePath(QStringLiteral("DataRefs.txt"));
    commandsPath = dir.filePath(QStringLiteral("Commands.txt"));
    for (const auto &[path, text] : {std::make_pair(datarefsPath, datarefsText(4000)),
                                     std::make_pair(commandsPath, commandsText(1500))}) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QCOMPARE(file.write(text), qint64(text.size()));
    }
}

void TestSession::wholeSession()
{
    auto *window = new WinMain(nullptr);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    auto *tabs = window->findChild<QTabWidget *>(QStringLiteral("tabs"));
    QVERIFY(tabs);
    QVERIFY(window->addFileTab(datarefsPath));
    QVERIFY(window->addFileTab(commandsPath));
    QCOMPARE(tabs->count(), 2);

    for (int page = 0; page < tabs->count(); ++page) {
        tabs->setCurrentIndex(page);
        auto *tab = qobject_cast<WinTab *>(tabs->widget(page));
        QVERIFY(tab);
        const auto press = [tab](const char *name) {
            QTest::mouseClick(tab->findChild<QPushButton *>(QLatin1String(name)), Qt::LeftButton);
        };
        auto *view = tab->findChild<QTreeView *>(QStringLiteral("treeRefers"));
        auto *search = tab->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
        QVERIFY(view && search);

        // A new tab shows the list; the toggle brings the tree, then both the tree's buttons.
        const int records = view->model()->rowCount();
        QVERIFY(records > 1000);
        press("btnStateView");
        QVERIFY(view->model()->rowCount() < records);
        press("btnExpandAll");
        const QModelIndex first = view->model()->index(0, 0);
        QVERIFY(view->isExpanded(first));
        press("btnCollapseAll");
        QVERIFY(!view->isExpanded(first));

        // Searching narrows the list; a found row is copied as its path.
        press("btnStateView");
        QTest::keyClicks(search, QStringLiteral("_1"));
        QTest::keyClick(search, Qt::Key_Return);
        const int found = view->model()->rowCount();
        QVERIFY(found > 0 && found < records);
        const QModelIndex row = view->model()->index(found - 1, 0);
        view->scrollTo(row);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(row).center());
        QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
        const QString copied = QGuiApplication::clipboard()->text(QClipboard::Clipboard);
        QVERIFY(!copied.isEmpty());
        QCOMPARE(row.data().toString(), QString::number(found) + QStringLiteral(" - ") + copied);

        // The search in the tree, then cleared: the whole list again.
        press("btnStateView");
        press("btnExpandAll");
        press("btnClearSearch");
        press("btnStateView");
        QCOMPARE(view->model()->rowCount(), records);
    }

    // Closing both tabs from their close buttons, then quitting.
    while (tabs->count() > 0) {
        const int before = tabs->count();
        QWidget *close = tabs->tabBar()->tabButton(0, QTabBar::RightSide);
        if (close)
            QTest::mouseClick(close, Qt::LeftButton);
        else
            emit tabs->tabCloseRequested(0);
        QCOMPARE(tabs->count(), before - 1);
    }
    delete window;

    // The stored state is the closed window's: no pages come back.
    WinMain again(nullptr);
    QCOMPARE(again.findChild<QTabWidget *>(QStringLiteral("tabs"))->count(), 0);
}

int main(int argc, char *argv[])
{
    // The store resolves "settings.ini" against the working directory: keep it in a scratch one.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    Application app(argc, argv);
    WinCheckUpdate::setUpdateHost("http://127.0.0.1:1");
    TestSession test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_session.moc"
