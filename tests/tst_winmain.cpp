#include "app/Application.h"
#include "app/WinMain.h"
#include "dialogs/ProgramInfo.h"
#include "dialogs/WinCheckUpdate.h"
#include "tab/WinTab.h"

#include <QAction>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

// Catches what the window hands to the desktop's URL opener.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls.append(url); }
};

class TstWinMain : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void titleShowsLongNameAndVersion();
    void menusHoldTheirActionsInOrder();
    void menuBarFromTheKeyboard_data();
    void menuBarFromTheKeyboard();
    void unreachableShortcutsDoNothing();
    void openShortcutShowsTheFileDialog();
    void openThroughTheDialogAddsANamedPage();
    void cancelledDialogChangesNothing();
    void failedOpenAddsNoPageAndNoMessage();
    void sameFileTwiceGivesTwoPages();
    void newPageBecomesCurrentOnlyWhenFirst();
    void pageNameIsTheTextAfterTheLastSlash_data();
    void pageNameIsTheTextAfterTheLastSlash();
    void closingTheLastPageKeepsTheWindow();
    void unsupportedCommandsWarn_data();
    void unsupportedCommandsWarn();
    void aboutShowsAFreshDialogEachTime();
    void checkForUpdateShowsTheDialogIdle();
    void webPageOpensTheSiteWithAScheme();

private:
    QString writeList(const QString &name);
    QTabWidget *tabs() const { return window->findChild<QTabWidget *>(QStringLiteral("tabs")); }
    // Runs `answer` on the next modal dialog, from inside its own event loop.
    void whenModal(std::function<void(QWidget *)> answer);

    QTemporaryDir dir;
    WinMain *window = nullptr;
    bool answered = false;
};

QString TstWinMain::writeList(const QString &name)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    file.write("2 1200 header\n"
               "sim/a/b\tfloat\ty\tmeters\tFirst\n"
               "sim/a/c\tint\tn\tfeet\tSecond\n");
    return path;
}

void TstWinMain::whenModal(std::function<void(QWidget *)> answer)
{
    answered = false;
    QTimer::singleShot(0, this, [this, answer] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal) {
            // The dialog may not be up yet: look again on the next turn of its loop.
            whenModal(answer);
            return;
        }
        answered = true;
        answer(modal);
    });
}

void TstWinMain::init()
{
    QVERIFY(dir.isValid());
    // Every case starts as a first run: no remembered files from the case before.
    qobject_cast<Application *>(QCoreApplication::instance())->settings.clear();
    window = new WinMain(nullptr);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
}

void TstWinMain::cleanup()
{
    delete window;
    window = nullptr;
}

void TstWinMain::titleShowsLongNameAndVersion()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("Corvane Refscope.    0.9.0 b"));
}

void TstWinMain::menusHoldTheirActionsInOrder()
{
    const QList<QAction *> menus = window->menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus.at(0)->text(), QStringLiteral("File"));
    QCOMPARE(menus.at(1)->text(), QStringLiteral("Help"));

    const QList<QAction *> file = menus.at(0)->menu()->actions();
    QCOMPARE(file.size(), 3);
    QCOMPARE(file.at(0)->objectName(), QStringLiteral("actionOpenFile"));
    QCOMPARE(file.at(0)->text(), QStringLiteral("Open"));
    QCOMPARE(file.at(0)->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
    QVERIFY(!file.at(0)->icon().isNull());
    QVERIFY(file.at(1)->isSeparator());
    QVERIFY(file.at(2)->isSeparator());

    const QList<QAction *> help = menus.at(1)->menu()->actions();
    QCOMPARE(help.size(), 3);
    const QStringList helpTexts = {QStringLiteral("About"), QStringLiteral("Check for update"),
                                   QStringLiteral("Webpage")};
    for (int i = 0; i < help.size(); ++i) {
        QCOMPARE(help.at(i)->text(), helpTexts.at(i));
        QVERIFY(!help.at(i)->icon().isNull());
        QVERIFY(help.at(i)->shortcut().isEmpty());
    }

    // The unsupported commands exist but are offered nowhere.
    for (const char *name : {"actionNewFile", "actionSaveAll", "actionSave", "actionExit", "actionSaveAs",
                             "actionOptions"}) {
        auto *action = window->findChild<QAction *>(QLatin1String(name));
        QVERIFY2(action, name);
        QVERIFY2(action->associatedWidgets().isEmpty(), name);
    }
}

void TstWinMain::menuBarFromTheKeyboard_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("opens");

    QTest::newRow("F10 opens File") << int(Qt::Key_F10) << true;
    QTest::newRow("Alt alone selects File") << int(Qt::Key_Alt) << false;
}

// Then the right arrow goes on to Help, open or selected as File was.
void TstWinMain::menuBarFromTheKeyboard()
{
    QFETCH(int, key);
    QFETCH(bool, opens);

    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QMenuBar *bar = window->menuBar();
    const QList<QAction *> menus = bar->actions();
    const QImage unselected = bar->grab().toImage();
    QTest::keyClick(window, Qt::Key(key));
    QCOMPARE(bar->activeAction(), menus.at(0));
    QVERIFY(bar->grab().toImage() != unselected); // the user sees where the keyboard is
    QCOMPARE(menus.at(0)->menu()->isVisible(), opens);
    QCOMPARE(bar->hasFocus(), !opens);

    QTest::keyClick(opens ? static_cast<QWidget *>(menus.at(0)->menu()) : bar, Qt::Key_Right);
    QCOMPARE(bar->activeAction(), menus.at(1));
    QCOMPARE(menus.at(1)->menu()->isVisible(), opens);
    QVERIFY(!menus.at(0)->menu()->isVisible());
    QCOMPARE(menus.at(1)->text(), QStringLiteral("Help"));
}

void TstWinMain::unreachableShortcutsDoNothing()
{
    for (const QKeySequence &keys : {QKeySequence(QStringLiteral("Ctrl+N")), QKeySequence(QStringLiteral("Ctrl+S")),
                                     QKeySequence(QStringLiteral("Ctrl+Shift+S"))}) {
        QTest::keySequence(window, keys);
        QCoreApplication::processEvents();
        QVERIFY2(!QApplication::activeModalWidget(), qPrintable(keys.toString()));
    }
    QCOMPARE(tabs()->count(), 0);
}

void TstWinMain::openShortcutShowsTheFileDialog()
{
    QString caption;
    whenModal([&caption](QWidget *modal) {
        caption = modal->windowTitle();
        modal->close();
    });
    QTest::keySequence(window, QKeySequence(QStringLiteral("Ctrl+O")));
    QTRY_VERIFY(answered);
    QCOMPARE(caption, QStringLiteral("Open Dataref or Command file."));
}

void TstWinMain::openThroughTheDialogAddsANamedPage()
{
    const QString path = writeList(QStringLiteral("DataRefs.txt"));
    whenModal([path](QWidget *modal) {
        auto *dialog = qobject_cast<QFileDialog *>(modal);
        QVERIFY(dialog);
        QVERIFY(dialog->nameFilters().contains(QStringLiteral("Library (*.*)")));
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept(); // the file dialog hides its own override
    });
    window->findChild<QAction *>(QStringLiteral("actionOpenFile"))->trigger();
    QVERIFY(answered);
    QCOMPARE(tabs()->count(), 1);
    QCOMPARE(tabs()->tabText(0), QStringLiteral("DataRefs.txt"));
    auto *tab = qobject_cast<WinTab *>(tabs()->widget(0));
    QVERIFY(tab);
    QCOMPARE(tab->objectName(), QStringLiteral("DataRefs.txt"));
    QCOMPARE(tab->filePath(), path);
}

void TstWinMain::cancelledDialogChangesNothing()
{
    whenModal([](QWidget *modal) { qobject_cast<QDialog *>(modal)->reject(); });
    window->findChild<QAction *>(QStringLiteral("actionOpenFile"))->trigger();
    QVERIFY(answered);
    QCOMPARE(tabs()->count(), 0);
}

void TstWinMain::failedOpenAddsNoPageAndNoMessage()
{
    QVERIFY(!window->addFileTab(dir.filePath(QStringLiteral("missing.txt"))));
    QVERIFY(!window->addFileTab(dir.path())); // a directory is no list
    QVERIFY(!window->addFileTab(QString()));
    QCoreApplication::processEvents();
    QCOMPARE(tabs()->count(), 0);
    QVERIFY(!QApplication::activeModalWidget());
}

void TstWinMain::sameFileTwiceGivesTwoPages()
{
    const QString path = writeList(QStringLiteral("Commands.txt"));
    WinTab *first = window->addFileTab(path);
    WinTab *second = window->addFileTab(path);
    QVERIFY(first && second && first != second);
    QCOMPARE(tabs()->count(), 2);
    QCOMPARE(tabs()->tabText(0), tabs()->tabText(1));
}

void TstWinMain::newPageBecomesCurrentOnlyWhenFirst()
{
    WinTab *first = window->addFileTab(writeList(QStringLiteral("one.txt")));
    QCOMPARE(tabs()->currentWidget(), first);
    window->addFileTab(writeList(QStringLiteral("two.txt")));
    QCOMPARE(tabs()->count(), 2);
    QCOMPARE(tabs()->currentIndex(), 0);
}

void TstWinMain::pageNameIsTheTextAfterTheLastSlash_data()
{
    QTest::addColumn<QString>("relative");
    QTest::addColumn<QString>("caption");
    QTest::newRow("nested") << QStringLiteral("sub/inner.txt") << QStringLiteral("inner.txt");
#ifdef Q_OS_UNIX
    // Only Unix file names may hold a backslash.
    QTest::newRow("backslash is a plain character")
        << QStringLiteral("a\\b.txt") << QStringLiteral("a\\b.txt");
#endif
    QTest::newRow("ampersand shown as it is") << QStringLiteral("a&b.txt") << QStringLiteral("a&b.txt");
}

void TstWinMain::pageNameIsTheTextAfterTheLastSlash()
{
    QFETCH(QString, relative);
    QFETCH(QString, caption);
    QVERIFY(QDir(dir.path()).mkpath(QStringLiteral("sub")));
    WinTab *tab = window->addFileTab(writeList(relative));
    QVERIFY(tab);
    QCOMPARE(tab->objectName(), caption);
    // What the tab bar draws: the caption without mnemonic markers.
    QString shown = tabs()->tabText(0);
    shown.replace(QStringLiteral("&&"), QStringLiteral("&"));
    QCOMPARE(shown, caption);
}

void TstWinMain::closingTheLastPageKeepsTheWindow()
{
    QPointer<WinTab> tab = window->addFileTab(writeList(QStringLiteral("only.txt")));
    QVERIFY(tab);
    QTabBar *bar = tabs()->tabBar();
    QWidget *closeButton = bar->tabButton(0, QTabBar::RightSide);
    if (!closeButton)
        closeButton = bar->tabButton(0, QTabBar::LeftSide);
    QVERIFY(closeButton);
    QTest::mouseClick(closeButton, Qt::LeftButton);
    QCOMPARE(tabs()->count(), 0);
    QVERIFY(tab.isNull());
    QVERIFY(window->isVisible());
}

void TstWinMain::unsupportedCommandsWarn_data()
{
    QTest::addColumn<QString>("action");
    for (const char *name : {"actionNewFile", "actionSave", "actionSaveAll", "actionSaveAs", "actionExit",
                             "actionOptions"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TstWinMain::unsupportedCommandsWarn()
{
    QFETCH(QString, action);
    QString title, text;
    QMessageBox::StandardButtons buttons;
    whenModal([&](QWidget *modal) {
        auto *box = qobject_cast<QMessageBox *>(modal);
        QVERIFY(box);
        title = box->windowTitle();
        text = box->text();
        buttons = box->standardButtons();
        box->button(QMessageBox::Ok)->click();
    });
    window->findChild<QAction *>(action)->trigger();
    QVERIFY(answered);
    QCOMPARE(title, QStringLiteral("Warning"));
    QCOMPARE(text, QStringLiteral("Not supports yet"));
    QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    QVERIFY(window->isVisible()); // "Exit" does not end the program
}

void TstWinMain::aboutShowsAFreshDialogEachTime()
{
    for (int opening = 0; opening < 2; ++opening) {
        QString text;
        whenModal([&text](QWidget *modal) {
            text = modal->findChild<QPlainTextEdit *>(QStringLiteral("txtEdit"))->toPlainText();
            modal->findChild<QPushButton *>(QStringLiteral("btnOk"))->click();
            modal->close();
        });
        window->findChild<QAction *>(QStringLiteral("actionAbout"))->trigger();
        QVERIFY(answered);
        QVERIFY(text.startsWith(QStringLiteral("Corvane Refscope\n")));
        QCOMPARE(window->findChildren<QDialog *>(QStringLiteral("WinAbout")).size(), 0);
    }
}

void TstWinMain::checkForUpdateShowsTheDialogIdle()
{
    window->findChild<QAction *>(QStringLiteral("actionCheckForUpdate"))->trigger();
    auto *dialog = window->findChild<QDialog *>(QStringLiteral("WinCheckUpdate"));
    QVERIFY(dialog);
    QVERIFY(dialog->isVisible());
    QCOMPARE(dialog->findChild<QPushButton *>(QStringLiteral("pushCheckOrDownload"))->text(),
             QStringLiteral("Check Update"));
    dialog->close();
}

void TstWinMain::webPageOpensTheSiteWithAScheme()
{
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
    window->findChild<QAction *>(QStringLiteral("actionWebpage"))->trigger();
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(catcher.urls.size(), 1);
    QCOMPARE(catcher.urls.first().host(), QString::fromStdString(gProgramInfo.webSite));
}

int main(int argc, char *argv[])
{
    // The store resolves "settings.ini" against the working directory: keep it in a scratch one.
    QTemporaryDir workDir;
    QDir::setCurrent(workDir.path());
    // The tests answer the toolkit's own file dialog; the native one of Windows takes no input from them.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    Application app(argc, argv);
    WinCheckUpdate::setUpdateHost("http://127.0.0.1:1");
    TstWinMain test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_winmain.moc"
