#include "CliRun.h"
#include "LocalUpdateServer.h"

#include "app/Application.h"
#include "app/WinMain.h"
#include "data/ListModel.h"
#include "data/ReferenceList.h"
#include "data/TreeItem.h"
#include "data/TreeModel.h"
#include "dialogs/WinCheckUpdate.h"
#include "net/UpdateInfo.h"
#include "tab/WinTab.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <cstdio>
#include <functional>
#include <thread>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <poll.h>
#include <sys/fanotify.h>
#endif

// Makes a hostile file and says whether the program can read it, so whether a tab opens.
using MakeFile = std::function<bool(const QString &)>;
Q_DECLARE_METATYPE(MakeFile)

// Where a hostile input of the table below comes in.
enum class Entry { StoredState, StoreFile, UpdateFeed, OpenedFile, LoadedFile, CommandLine };
Q_DECLARE_METATYPE(Entry)

namespace {

template<int N> QByteArray bytesOf(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

bool made(bool done, const QString &path)
{
    if (!done)
        qFatal("cannot make %s", qPrintable(path));
    return true;
}

const QByteArray goodList = "2 1200 header\n"
                            "sim/a/b\tfloat\ty\tmeters\tFirst\n"
                            "sim/a/c\tint\tn\tfeet\tSecond\n"
                            "sim/d\tint\tn\tfeet\tThird\n";

bool writeFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Bytes no reference file holds: every byte value, runs of NULs and a few lines in between.
QByteArray binaryBytes()
{
    QByteArray bytes;
    for (int round = 0; round < 64; ++round) {
        for (int value = 0; value < 256; ++value)
            bytes.append(char((value * 7 + round) & 0xff));
        bytes.append(QByteArray(round, '\0'));
        bytes.append("\n\t \r");
    }
    return bytes;
}

// A description of 300 KiB with control bytes throughout, longer than the slices refscope-cli
// writes a cell in: 64 KiB, each ending before a UTF-8 sequence that 64 KiB would cut. Here they end
// at 65,535 (64 KiB cut an invalid sequence), 131,069 (a character of four bytes) and 196,605,
// where a byte order mark follows. After the NUL at 256,000 nothing is shown.
QByteArray longCell()
{
    QByteArray cell = "\xef\xbb\xbf";
    while (cell.size() < 300 << 10)
        cell += "\x01\x1b[2J\x7f\xc2\x85\xc2\x9b\xe2\x80\xa8 \"q\", \\ \xff\xe2\x82 text\r";
    cell.replace(65535, 3, "\xe2\x82x");
    cell.replace(131069, 4, "\xf0\x9f\x9b\xab");
    cell.replace(196602, 6, "abc\xef\xbb\xbf");
    cell.replace(256000, 1, QByteArray(1, '\0'));
    return cell + "end";
}

// A record as text and TSV show it: every character that could break a row or drive a terminal
// as U+FFFD.
QString shownAsText(QString text)
{
    for (QChar &c : text) {
        const ushort u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029)
            c = QChar::ReplacementCharacter;
    }
    return text;
}

QString csvCell(const QString &text)
{
    if (!text.contains(QRegularExpression(QStringLiteral("[\",\r\n]"))))
        return text;
    return '"' + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) + '"';
}

// The full paths of the leaves a tree view shows, read through the model as the view reads it.
QStringList shownLeaves(const QAbstractItemModel *model)
{
    QStringList leaves;
    std::function<void(const QModelIndex &, const QString &)> walk
        = [&](const QModelIndex &parent, const QString &prefix) {
              for (int row = 0; row < model->rowCount(parent); ++row) {
                  const QModelIndex index = model->index(row, 0, parent);
                  const QString path = prefix.isEmpty() ? index.data().toString()
                                                        : prefix + QLatin1Char('/') + index.data().toString();
                  if (model->hasChildren(index))
                      walk(index, path);
                  else
                      leaves.append(path);
              }
          };
    walk(QModelIndex(), QString());
    return leaves;
}

// Everything a tab shows: the leaves and the text of every cell, so a later look can tell a change.
QStringList shownCells(const QAbstractItemModel *model)
{
    QStringList cells;
    std::function<void(const QModelIndex &)> walk = [&](const QModelIndex &parent) {
        for (int row = 0; row < model->rowCount(parent); ++row) {
            for (int column = 0; column < model->columnCount(parent); ++column)
                cells.append(model->index(row, column, parent).data().toString());
            walk(model->index(row, 0, parent));
        }
    };
    walk(QModelIndex());
    return cells;
}

QTreeView *viewOf(WinTab *tab)
{
    return tab->findChild<QTreeView *>(QStringLiteral("treeRefers"));
}

// A new tab shows the flat list; its toggle button brings the tree.
void showTree(WinTab *tab)
{
    QTest::mouseClick(tab->findChild<QPushButton *>(QStringLiteral("btnStateView")), Qt::LeftButton);
}

// The line the writer of a growing file appends as its n-th.
QByteArray growingLine(int n)
{
    char line[32];
    std::snprintf(line, sizeof line, "sim/grow/%07d\tint\n", n);
    return line;
}

// A header state as the toolkit writes it, up to the first list, whose count claims far more
// elements than follow; written the way "settings.ini" holds bytes.
QByteArray hugeHeaderValue()
{
    QByteArray state;
    QDataStream stream(&state, QIODevice::WriteOnly);
    stream << 0xff << 0 << int(Qt::Horizontal) << 0 << -1 << false << quint32(0x7fffffff);
    QByteArray value = "@ByteArray(";
    for (const char byte : qAsConst(state))
        value += "\\x" + QByteArray::number(uchar(byte), 16);
    return value + ')';
}

// Remembered files that are gone, then the good one.
QByteArray staleFilesThenGood(int stale)
{
    QByteArray ini = "[class%20WinMain]\n";
    for (int i = 1; i <= stale; ++i)
        ini += "openfiles\\" + QByteArray::number(i) + "\\filepath=/nonexistent/" + QByteArray::number(i)
            + "\n";
    return ini + "openfiles\\" + QByteArray::number(stale + 1) + "\\filepath=@GOOD@\n";
}

// What is at path, read without opening it: its kind, and on Unix the node it is and the one a link
// leads to, with their times.
QString nodeAt(const QString &path)
{
    const QFileInfo info(path);
    QString node = QStringLiteral("%1 %2 %3").arg(info.isSymLink()).arg(info.isDir()).arg(info.isFile());
#ifdef Q_OS_UNIX
    struct stat status;
    for (const bool follow : {false, true}) {
        const QByteArray name = QFile::encodeName(path);
        if ((follow ? ::stat(name.constData(), &status) : ::lstat(name.constData(), &status)) == 0)
            node += QStringLiteral(" %1:%2:%3:%4.%5")
                        .arg(status.st_mode)
                        .arg(status.st_ino)
                        .arg(status.st_rdev)
                        .arg(status.st_mtim.tv_sec)
                        .arg(status.st_mtim.tv_nsec);
    }
#endif
    return node;
}

// The "[Settings]" lines the program gives while work runs.
QStringList settingsLinesOf(const std::function<void()> &work)
{
    static QStringList *lines = nullptr;
    QStringList caught;
    lines = &caught;
    const QtMessageHandler previous
        = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) {
              if (text.startsWith(QLatin1String("[Settings]")))
                  lines->append(text);
          });
    work();
    qInstallMessageHandler(previous);
    return caught;
}

// An update feed that announces a newer version.
QByteArray feed(const QString &downloadUrl, const QString &revision = QStringLiteral("0123456789ab"))
{
    const QJsonObject version {{"major", 9}, {"minor", 0}, {"patch", 0}, {"revision", revision}};
    return QJsonDocument(QJsonObject {{"programId", "CORVREFSCOPE"},
                                      {"version", version},
                                      {"releaseType", "final"},
                                      {"downloadUrl", downloadUrl}})
        .toJson();
}

// The longest line is one byte shorter than this in the rows of the loader alone.
constexpr int smallLineLimit = 64;

// Stands in for the desktop: records what would have been opened.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl &url) { urls.append(url); }
};

} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void hostileInputIsHarmless_data();
    void hostileInputIsHarmless();
    void hostileFileLeavesOtherTabAlone_data();
    void hostileFileLeavesOtherTabAlone();
    void fileRemovedAfterTheDialog();
    void realExecutableOpensAsText();
    void fiftyMegabyteLineIsHeldOnce();
    void millionLines();
    void fileGrowingWhileRead();
    void hundredMegabyteAnswerIsCut();

private:
    QString goodPath() const { return dir.filePath(QStringLiteral("good.txt")); }
    QTabWidget *tabs() const { return window->findChild<QTabWidget *>(QStringLiteral("tabs")); }
    void closeWindow();
    void restartWith(const QByteArray &storedState);
    void checkStoredState(const QByteArray &input, int pages);
    void checkStoreFile(const QByteArray &input, int pages);
    void checkUpdateFeed(const QByteArray &input, int opened);
    void checkOpenedFile(const QByteArray &input, int shown);
    void checkLoadedFile(const QByteArray &input, int records);
    void checkCommandLine(const QByteArray &input, int status);
    WinTab *tabAt(int index) const { return qobject_cast<WinTab *>(tabs()->widget(index)); }

    QTemporaryDir dir;
    WinMain *window = nullptr;
    WinTab *goodTab = nullptr;
    QStringList goodCells;
};

void TestRobustness::init()
{
    QVERIFY(dir.isValid());
    qobject_cast<Application *>(QCoreApplication::instance())->settings.clear();
    QVERIFY(writeFile(goodPath(), goodList));
    window = new WinMain(nullptr);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    goodTab = window->addFileTab(goodPath());
    QVERIFY(goodTab);
    showTree(goodTab);
    viewOf(goodTab)->expandAll();
    goodCells = shownCells(viewOf(goodTab)->model());
    QCOMPARE(shownLeaves(viewOf(goodTab)->model()), (QStringList {"sim/a/b", "sim/a/c", "sim/d"}));
}

void TestRobustness::cleanup()
{
    closeWindow();
}

// The window's start-up check reports first: a window that goes at the moment its check reports can
// lose the report's few bytes to the sanitizer's leak check, which is not what these cases look at.
void TestRobustness::closeWindow()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    delete window;
    window = nullptr;
}

// Each case of hostile input, with the smallest input that showed it, and what must hold: the
// pages a start from that "settings.ini" restores (every one the good file), the addresses the
// Download button hands to the desktop, or the characters a view shows of the long line.
void TestRobustness::hostileInputIsHarmless_data()
{
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("expected");

    const QByteArray group = "[class%20WinMain]\n";
    const QByteArray good = "openfiles\\1\\filepath=@GOOD@\n";
    QTest::newRow("stored value claiming a huge list")
        << Entry::StoredState << group + "geometry=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n" + good << 1;
    QTest::newRow("stored value claiming a huge list, escaped")
        << Entry::StoredState
        << group + good + "openfiles\\1\\treeexpands=00, \\x40Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n"
        << 1;
    QTest::newRow("stored value claiming a huge list, quoted and octal")
        << Entry::StoredState
        << group + "geometry=\"\"  \\100Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n" + good << 1;
    QTest::newRow("stored header claiming a huge list")
        << Entry::StoredState << group + good + "openfiles\\1\\header=" + hugeHeaderValue() + '\n'
        << 1;
    QTest::newRow("more remembered files than are read")
        << Entry::StoredState << staleFilesThenGood(1000) << 0;
    QTest::newRow("as many remembered files as are read")
        << Entry::StoredState << staleFilesThenGood(999) << 1;
    QTest::newRow("array without its size")
        << Entry::StoredState << group + good + "openfiles\\2\\filepath=@GOOD@\n"
        << 2;
    QTest::newRow("array size not a number")
        << Entry::StoredState << group + "openfiles\\size=x\n" + good << 1;
    QTest::newRow("array size holds")
        << Entry::StoredState << group + "openfiles\\size=1\n" + good + "openfiles\\2\\filepath=@GOOD@\n"
        << 1;
    QTest::newRow("array size zero holds") << Entry::StoredState << group + "openfiles\\size=0\n" + good << 0;
    QTest::newRow("settings.ini: folder") << Entry::StoreFile << QByteArray("@FOLDER@") << 0;
#ifdef Q_OS_UNIX
    QTest::newRow("settings.ini: fifo") << Entry::StoreFile << QByteArray("@FIFO@") << 0;
    QTest::newRow("settings.ini: link to a device") << Entry::StoreFile << QByteArray("@DEVICE@") << 0;
    QTest::newRow("settings.ini: link to a file") << Entry::StoreFile << QByteArray("@LINK@") << 1;
#endif

    QTest::newRow("download address: script") << Entry::UpdateFeed << feed("javascript:alert(1)") << 0;
    QTest::newRow("download address: local file") << Entry::UpdateFeed << feed("file:///etc/passwd") << 0;
    QTest::newRow("download address: share") << Entry::UpdateFeed << feed("smb://host/share/x.zip") << 0;
    QTest::newRow("download address: relative") << Entry::UpdateFeed << feed("../../x.zip") << 0;
    QTest::newRow("download address: no host") << Entry::UpdateFeed << feed("https:///x.zip") << 0;
    QTest::newRow("revision as rich text")
        << Entry::UpdateFeed
        << feed(" https://downloads.example.invalid/x.zip ", "<b>x</b><img src=y><a href=z>") << 1;

    QTest::newRow("line one longer than is shown")
        << Entry::OpenedFile << "sim/" + QByteArray(displayLimit + 1, 'x') + "\tint\n"
        << displayLimit;

    // The loader alone with a line limit of 64 bytes: the smallest inputs of the one rule, wherever
    // the line starts and in both ways of loading.
    const QByteArray line63 = "sim/long needle " + QByteArray(47, 'x');
    QTest::newRow("line limit: a line one byte short")
        << Entry::LoadedFile << line63 + "\nsim/b needle\n" << 2;
    QTest::newRow("line limit: the first line") << Entry::LoadedFile << line63 + "x\nsim/b needle\n" << 0;
    QTest::newRow("line limit: after other lines")
        << Entry::LoadedFile << "sim/a needle\n" + line63 + "x\nsim/b needle\n" << 1;
    QTest::newRow("line limit: last line without line feed")
        << Entry::LoadedFile << "sim/a needle\n" + line63 + "x" << 1;
    QTest::newRow("line limit: its carriage return counts")
        << Entry::LoadedFile << "sim/a needle\n" + line63 + "\r\nsim/b needle\n" << 1;
    QTest::newRow("line limit: a line without the text looked for")
        << Entry::LoadedFile << "sim/a needle\n" + QByteArray(64, 'y') + "\nsim/b needle\n" << 1;
    QByteArray shortLines;
    for (int i = 0; i < 5000; ++i)
        shortLines += "sim/needle/" + QByteArray::number(10000 + i) + '\n';
    QTest::newRow("line limit: past the first read")
        << Entry::LoadedFile << shortLines + line63 + "x\nsim/b needle\n" << 5000;
    // Tiny records, out of order and more than the notes that go back to the system at a time.
    QByteArray tinyLines;
    for (int i = 0; i < 100000; ++i)
        tinyLines += QByteArray::number(0x100000 + (i * 7919) % 100000, 16) + '\n';
    QTest::newRow("100,000 lines of 7 bytes") << Entry::LoadedFile << tinyLines << 100000;

    QTest::newRow("command line: missing file") << Entry::CommandLine << QByteArray("@MISSING@") << 2;
    QTest::newRow("command line: folder") << Entry::CommandLine << QByteArray("@FOLDER@") << 2;
    QTest::newRow("command line: device") << Entry::CommandLine << QByteArray("@DEVICE@") << 2;
#ifdef Q_OS_UNIX
    QTest::newRow("command line: fifo") << Entry::CommandLine << QByteArray("@FIFO@") << 2;
#endif
#ifdef Q_OS_LINUX
    QTest::newRow("command line: file growing while read")
        << Entry::CommandLine << QByteArray("@GROWING@") << 2;
#endif
    QTest::newRow("command line: unknown option") << Entry::CommandLine << QByteArray("@OPTION@") << 2;
    QTest::newRow("command line: two identical files") << Entry::CommandLine << QByteArray("@SAME@") << 0;
    QTest::newRow("command line: empty file") << Entry::CommandLine << QByteArray() << 0;
    QTest::newRow("command line: nul and invalid utf-8") << Entry::CommandLine << binaryBytes() << 0;
    QTest::newRow("command line: crlf list")
        << Entry::CommandLine << QByteArray(goodList).replace("\n", "\r\n") << 0;
    QTest::newRow("command line: 50 MB line")
        << Entry::CommandLine << "sim/" + QByteArray(50 << 20, 'x') + "\tint\n" << 0;
    QTest::newRow("command line: cell longer than a slice")
        << Entry::CommandLine << "2 h\nsim/long\tint\ty\tu\t" + longCell() + '\n' << 0;
    // Old and new list, a form feed line between; each field was once looked for from the first.
    const QByteArray manyFields = "sim/f" + QByteArray(20000, 'x').replace("x", "\tx");
    QTest::newRow("command line: diff of 20,000 fields, the last changed")
        << Entry::CommandLine << manyFields + "\told\n\f\n" + manyFields + "\tnew\n" << 1;
}

void TestRobustness::hostileInputIsHarmless()
{
    QFETCH(Entry, entry);
    QFETCH(QByteArray, input);
    QFETCH(int, expected);
    switch (entry) {
    case Entry::StoredState:
        checkStoredState(input, expected);
        break;
    case Entry::StoreFile:
        checkStoreFile(input, expected);
        break;
    case Entry::UpdateFeed:
        checkUpdateFeed(input, expected);
        break;
    case Entry::OpenedFile:
        checkOpenedFile(input, expected);
        break;
    case Entry::LoadedFile:
        checkLoadedFile(input, expected);
        break;
    case Entry::CommandLine:
        checkCommandLine(input, expected);
        break;
    }
}

// The window goes, with its state, and a new one starts from the given "settings.ini".
void TestRobustness::restartWith(const QByteArray &storedState)
{
    closeWindow();
    QSettings &store = qobject_cast<Application *>(QCoreApplication::instance())->settings;
    store.clear();
    store.sync();
    QVERIFY(writeFile(store.fileName(), storedState));
    // A new start's store looks at the file first; it shares the file with this one, which so reads
    // what that store left of it.
    const Settings started;
    QVERIFY(started.refusal().isEmpty());
    window = new WinMain(nullptr);
}

void TestRobustness::checkStoredState(const QByteArray &input, int pages)
{
    restartWith(QByteArray(input).replace("@GOOD@", goodPath().toUtf8()));
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(tabs()->count(), pages);
    for (int i = 0; i < pages; ++i)
        QCOMPARE(tabAt(i)->filePath(), goodPath());
    // What this run writes back brings the same pages again.
    closeWindow();
    window = new WinMain(nullptr);
    QCOMPARE(tabs()->count(), pages);
}

// settings.ini as something other than a regular file, with the pages a start restores from it. A
// regular file behind a link is read and written through the link. Anything else is neither read
// nor written (nothing opens it: a FIFO would hang the test) and stays as it was; a start has the
// defaults, and the end of the run says once why the state was not saved.
void TestRobustness::checkStoreFile(const QByteArray &input, int pages)
{
    closeWindow();
    Settings &store = qobject_cast<Application *>(QCoreApplication::instance())->settings;
    store.clear();
    store.sync();
    // The clearing asked for a flush of its own; none may come while the name is not a file.
    QCoreApplication::removePostedEvents(&store, QEvent::UpdateRequest);
    const QString path = store.fileName();
    const QString target = dir.filePath(QStringLiteral("target.ini"));
    QVERIFY(QFile::remove(path));
    const auto putBack = qScopeGuard([&] {
        if (!QFile::remove(path))
            QDir().rmdir(path);
        store.sync();
    });
    if (input == "@FOLDER@") {
        QVERIFY(QDir().mkdir(path));
#ifdef Q_OS_UNIX
    } else if (input == "@FIFO@") {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
    } else if (input == "@DEVICE@") {
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    } else if (input == "@LINK@") {
        QVERIFY(writeFile(target, "[class%20WinMain]\nopenfiles\\1\\filepath=" + goodPath().toUtf8() + '\n'));
        QVERIFY(QFile::link(target, path));
#endif
    }
    const QString node = nodeAt(path);

    const Settings started;
    QCOMPARE(started.refusal().isEmpty(), pages > 0);
    QCOMPARE(started.allKeys().isEmpty(), pages == 0);
    // The window writes only into a store that may be written now; else it must not close here.
    QCOMPARE(store.refusalToWrite().isEmpty(), pages > 0);
    window = new WinMain(nullptr);
    QCOMPARE(tabs()->count(), pages);
    const QStringList lines = settingsLinesOf([this] { closeWindow(); });
    if (pages > 0) {
        QCOMPARE(lines, QStringList());
        QVERIFY(QFileInfo(path).isSymLink());
        QFile written(target);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QVERIFY(written.readAll().contains("currtab=0"));
        return;
    }
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith("[Settings] did not save the window state: \""
                                      + QDir::toNativeSeparators(path) + "\" is a"),
             qPrintable(lines.first()));
    QCOMPARE(nodeAt(path), node);
    if (input == "@FOLDER@")
        QVERIFY(QDir(path).isEmpty());
}

void TestRobustness::checkUpdateFeed(const QByteArray &input, int opened)
{
    UrlCatcher desktop;
    const QStringList schemes {"https", "http", "javascript", "file", "smb", ""};
    for (const QString &scheme : schemes)
        QDesktopServices::setUrlHandler(scheme, &desktop, "openUrl");
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(input)});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog(window);
    dialog.launch(true);
    QTRY_VERIFY(dialog.isVisible());

    const QJsonObject document = QJsonDocument::fromJson(input).object();
    auto *label = dialog.findChild<QLabel *>(QStringLiteral("labelInfo"));
    QCOMPARE(label->textFormat(), Qt::PlainText);
    QVERIFY(label->text().endsWith(document["version"].toObject()["revision"].toString() + ']'));
    const QString address = document["downloadUrl"].toString();
    if (opened == 0)
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression("refused to open the download address \""
                                                + QRegularExpression::escape(address) + "\"$"));
    QTest::mouseClick(dialog.findChild<QPushButton *>(QStringLiteral("pushCheckOrDownload")), Qt::LeftButton);
    QCOMPARE(desktop.urls.size(), opened);
    if (opened)
        QCOMPARE(desktop.urls.first(), QUrl(address.trimmed()));
    QVERIFY(!dialog.isVisible());

    for (const QString &scheme : schemes)
        QDesktopServices::unsetUrlHandler(scheme);
    WinCheckUpdate::setUpdateHost("http://127.0.0.1:1");
}

// The views show a bounded beginning of the line; the Ref field, copying and search take it whole.
void TestRobustness::checkOpenedFile(const QByteArray &input, int shown)
{
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    QVERIFY(writeFile(path, "2 h\n" + input));
    WinTab *tab = window->addFileTab(path);
    QVERIFY(tab);
    tabs()->setCurrentWidget(tab);
    QVERIFY(QTest::qWaitForWindowExposed(tab));
    const QString line = QString::fromLatin1(input.left(input.indexOf('\t')));
    QTreeView *view = viewOf(tab);
    const QModelIndex row = view->model()->index(0, 0);
    QCOMPARE(row.data().toString(), "1 - " + line.left(shown - 1) + QChar(0x2026));

    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(row).center());
    QCOMPARE(tab->findChild<QLineEdit *>(QStringLiteral("txtCurrRef"))->text(), line.left(256));
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), line);

    showTree(tab);
    const QModelIndex leaf = view->model()->index(0, 0, view->model()->index(0, 0));
    QCOMPARE(leaf.data().toString(), line.mid(4, shown - 1) + QChar(0x2026));
    QCOMPARE(static_cast<const TreeItem *>(leaf.internalPointer())->fullPath(), line);
    auto *search = tab->findChild<QLineEdit *>(QStringLiteral("txtSearch"));
    QTest::keyClicks(search, line.right(40));
    QTest::keyClick(search, Qt::Key_Return);
    QCOMPARE(tab->findChild<QLabel *>(QStringLiteral("label"))->text(), QStringLiteral("Found: 1 "));
}

// load and loadContaining keep the records of the lines before the first of smallLineLimit
// bytes or more (the line feed not counted), in order, and say that the reading ended early.
void TestRobustness::checkLoadedFile(const QByteArray &input, int records)
{
    bool tooLong = false;
    for (const QByteArray &line : input.split('\n'))
        tooLong = tooLong || line.size() >= smallLineLimit;
    const QString path = dir.filePath(QStringLiteral("limit.txt"));
    QVERIFY(writeFile(path, input));
    const QByteArray name = ReferenceList::encodeName(path);

    ReferenceList loaded;
    loaded.lineLimit = smallLineLimit;
    QVERIFY(loaded.load(name));
    QCOMPARE(int(loaded.references.size()), records);
    QCOMPARE(loaded.incomplete, tooLong);
    for (size_t i = 1; i < loaded.references.size(); ++i)
        QVERIFY(!(loaded.references[i].path < loaded.references[i - 1].path));
    ReferenceList found;
    found.lineLimit = smallLineLimit;
    QVERIFY(found.loadContaining(name, "needle"));
    QCOMPARE(found.references.size(), loaded.matching("needle").size());
    QCOMPARE(found.incomplete, tooLong);
}

// refscope-cli on one hostile input: the exit status, one line naming the file when it is trouble,
// and otherwise one JSON object a line for every record the loader reads.
void TestRobustness::checkCommandLine(const QByteArray &input, int status)
{
    const QString path = dir.filePath(QStringLiteral("cli.txt"));
    QFile::remove(path);
    QDir(dir.path()).rmdir(QStringLiteral("cli.txt"));
    QStringList arguments {"show", path, "--format", "jsonl"};
    if (input == "@FOLDER@") {
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("cli.txt")));
    } else if (input == "@DEVICE@") {
#ifdef Q_OS_WIN
        arguments[1] = QStringLiteral("NUL");
#else
        arguments[1] = QStringLiteral("/dev/zero");
#endif
#ifdef Q_OS_UNIX
    } else if (input == "@FIFO@") {
        QVERIFY(::mkfifo(QFile::encodeName(path).constData(), 0644) == 0);
#endif
    } else if (input == "@OPTION@") {
        arguments << QStringLiteral("--colour");
    } else if (input == "@SAME@") {
        QVERIFY(writeFile(path, goodList));
        arguments = QStringList {"diff", path, goodPath(), "--format", "jsonl"};
    } else if (input.contains("\n\f\n")) {
        const QString newPath = dir.filePath(QStringLiteral("cli-new.txt"));
        QVERIFY(writeFile(path, input.left(input.indexOf("\n\f\n") + 1)));
        QVERIFY(writeFile(newPath, input.mid(input.indexOf("\n\f\n") + 3)));
        arguments = QStringList {"diff", path, newPath, "--format", "jsonl"};
    } else if (input != "@MISSING@") {
        QVERIFY(writeFile(path, input == "@GROWING@" ? goodList : input));
    }

#ifdef Q_OS_LINUX
    // A fanotify gate holds the reads of the file until a line is appended to it: the file changes
    // while it is read, whatever the timing. Closing the gate lets the reads through. Its permission
    // events need root (as in CI); without them nothing changes the file.
    const int gate = input == "@GROWING@" ? ::fanotify_init(FAN_CLASS_CONTENT | FAN_CLOEXEC, O_RDONLY) : -1;
    const QByteArray name = QFile::encodeName(path);
    std::thread appender;
    if (gate >= 0 && ::fanotify_mark(gate, FAN_MARK_ADD, FAN_ACCESS_PERM, AT_FDCWD, name.constData()) == 0) {
        appender = std::thread([gate, path] {
            pollfd reading {gate, POLLIN, 0};
            QFile file(path);
            if (::poll(&reading, 1, 30000) > 0 && file.open(QIODevice::Append))
                file.write("sim/appended\tint\n");
            file.close();
            ::close(gate);
        });
    } else if (input == "@GROWING@") {
        status = 0;
    }
#endif
    const CliRun run = runCli(arguments);
#ifdef Q_OS_LINUX
    if (appender.joinable())
        appender.join();
    else if (gate >= 0)
        ::close(gate);
#endif
    QCOMPARE(run.status, status);
    if (status == 2) {
        QVERIFY2(run.err.startsWith("refscope-cli: "), run.err.constData());
        if (input != "@OPTION@") {
            QCOMPARE(run.err.count('\n'), 1);
            QVERIFY2(run.err.contains(arguments[1].toUtf8()), run.err.constData());
        }
        if (input == "@GROWING@")
            QVERIFY2(run.err.endsWith(": the file changed while it was read\n"), run.err.constData());
        QCOMPARE(run.out, QByteArray());
        return;
    }
    if (input == "@SAME@") {
        QCOMPARE(run.out, QByteArray());
        return;
    }
    if (arguments.first() == "diff") {
        // One change, naming exactly the columns whose texts differ.
        QCOMPARE(run.out.count('\n'), 1);
        const QJsonObject change = QJsonDocument::fromJson(run.out).object();
        const QJsonObject before = change.value(QStringLiteral("old")).toObject();
        const QJsonObject after = change.value(QStringLiteral("new")).toObject();
        QJsonArray differ;
        for (const QString &key : after.keys()) {
            if (before.value(key) != after.value(key))
                differ.append(key);
        }
        QCOMPARE(change.value(QStringLiteral("columns")).toArray(), differ);
        return;
    }
    ReferenceList list;
    QVERIFY(list.load(ReferenceList::encodeName(path)));
    const QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.size(), int(list.references.size()) + 1);
    for (int i = 0; i + 1 < lines.size(); ++i) {
        QJsonParseError error;
        const QJsonObject record = QJsonDocument::fromJson(lines.at(i), &error).object();
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        QCOMPARE(record.value(QStringLiteral("path")).toString(), decodeText(list.references[size_t(i)].path));
    }
    // The description ends the row of the last record that has every column, in every format.
    if (list.references.empty() || list.references.back().fields.size() + 1 != (list.kind == DataRefs ? 5 : 2))
        return;
    const QString description = decodeText(list.references.back().fields.last());
    QCOMPARE(QJsonDocument::fromJson(lines.at(lines.size() - 2)).object().value(QStringLiteral("description")).toString(),
             description);
    const QString shown = shownAsText(description);
    // Text trims the blanks that end a row.
    const QByteArray ends[] = {QString(shown).remove(QRegularExpression(QStringLiteral(" +$"))).toUtf8() + '\n',
                               '\t' + shown.toUtf8() + '\n', ',' + csvCell(description).toUtf8() + "\r\n"};
    const char *const formats[] = {"text", "tsv", "csv"};
    for (int i = 0; i < 3; ++i) {
        const CliRun written = runCli({"show", path, "--format", formats[i]});
        QCOMPARE(written.status, 0);
        QVERIFY2(written.out.endsWith(ends[i]), formats[i]);
    }
}

// Each hostile file is opened beside a good tab. Whether it opens or not, the program goes on, the
// good tab shows what it showed, and the next start brings the good tab back first.
void TestRobustness::hostileFileLeavesOtherTabAlone_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<MakeFile>("make");
    QTest::addColumn<bool>("leavesKnown");
    QTest::addColumn<QStringList>("leaves"); // what the new tab shows, when it opens

    const auto content = [](const QByteArray &bytes) {
        return MakeFile([bytes](const QString &path) { return made(writeFile(path, bytes), path); });
    };
    const QStringList goodLeaves {"sim/a/b", "sim/a/c", "sim/d"};

    QTest::newRow("binary file") << "binary.bin" << content(binaryBytes()) << false << QStringList();
    // A line of NULs shows as a top-level row without a name.
    QTest::newRow("NUL bytes inside lines")
        << "nul-bytes.txt"
        << content(bytesOf("2 h\nsim/a\0hidden/x\tint\nsim/b\tint\0junk\n\0\0\0\nsim/c\tint\n")) << true
        << QStringList {"", "sim/a", "sim/b", "sim/c"};
    // Bytes that are no UTF-8 show as replacement characters; the rest of the path stays readable.
    QTest::newRow("invalid UTF-8")
        << "utf8.txt"
        << content("2 h\nsim/bad\xff\xfe/x\tint\nsim/\xc3(\tint\nsim/cut\xe2\x82\tint\nsim/ok\tint\n") << true
        << QStringList {QStringLiteral("sim/bad\uFFFD\uFFFD/x"), QStringLiteral("sim/cut\uFFFD\uFFFD"),
                        "sim/ok", QStringLiteral("sim/\uFFFD(")};
    // Lines end at line feeds only: a file with carriage returns alone is one line, here the header.
    QTest::newRow("CR-only line ends")
        << "cr.txt" << content("2 h\rsim/a\tint\rsim/b\tint\r") << true << QStringList();
    QTest::newRow("CR-only commands list")
        << "crcmd.txt" << content("sim/a   Go.\rsim/b   Stop.\r") << true << QStringList {"sim/a"};
    // Far deeper than the view could lay out: the deepest node holds the rest of the path, and
    // "Expand all" reaches it.
    const QByteArray deepPath = "deep/" + QByteArray(29998, 's').replace("s", "s/") + "leaf";
    // The view shows the start of that name, as of any long text.
    const QString deepTail = QStringLiteral("s/").repeated(29998 - (TreeItem::maxDepth - 2)) + "leaf";
    const QString deepShown
        = "deep/" + QStringLiteral("s/").repeated(TreeItem::maxDepth - 2) + displayText(deepTail);
    QTest::newRow("path of 30,000 segments")
        << "deep.txt" << content("2 h\nsim/a\tint\n" + deepPath + "\tint\n") << true
        << QStringList {deepShown, "sim/a"};
    QTest::newRow("non-Latin path") << QString::fromUtf8("Датарефы 数据 ✈.txt") << content(goodList) << true
                                    << goodLeaves;
    QTest::newRow("directory") << "folder" << MakeFile([](const QString &path) {
        return !made(QDir().mkdir(path), path);
    }) << false << QStringList();
#ifdef Q_OS_UNIX
    QTest::newRow("FIFO") << "fifo" << MakeFile([](const QString &path) {
        return !made(::mkfifo(QFile::encodeName(path).constData(), 0600) == 0, path);
    }) << false << QStringList();
    QTest::newRow("dangling symlink") << "dangling" << MakeFile([](const QString &path) {
        return !made(QFile::link(path + QStringLiteral(".gone"), path), path);
    }) << false << QStringList();
    // Root reads a file without read permission; anyone else cannot. Whoever runs, the outcome must
    // be the one the system's permission check gives.
    QTest::newRow("no read permission") << "unreadable.txt" << MakeFile([](const QString &path) {
        made(writeFile(path, goodList) && ::chmod(QFile::encodeName(path).constData(), 0) == 0, path);
        return ::access(QFile::encodeName(path).constData(), R_OK) == 0;
    }) << true << goodLeaves;
#endif
}

void TestRobustness::hostileFileLeavesOtherTabAlone()
{
    QFETCH(QString, name);
    QFETCH(MakeFile, make);
    QFETCH(bool, leavesKnown);
    QFETCH(QStringList, leaves);

    const QString path = dir.filePath(name);
    const bool readable = make(path);

    WinTab *tab = window->addFileTab(path);
    QCOMPARE(tab != nullptr, readable);
    QCOMPARE(tabs()->count(), readable ? 2 : 1);
    if (tab) {
        showTree(tab);
        QTreeView *view = viewOf(tab);
        view->expandAll();
        const QStringList shown = shownLeaves(view->model());
        if (leavesKnown)
            QVERIFY2(shown == leaves, qPrintable(shown.join(QLatin1Char('|'))));
        QVERIFY(shownCells(view->model()).size() >= shown.size());
        QTest::keyClick(view, Qt::Key_End);
        QTest::keyClick(view, Qt::Key_Home);
    }
    QCOMPARE(tabAt(0), goodTab);
    QCOMPARE(goodTab->filePath(), goodPath());
    QCOMPARE(shownCells(viewOf(goodTab)->model()), goodCells);

    // The stored state survives: a new window opens the good file first, as it was.
    closeWindow();
    window = new WinMain(nullptr);
    QCOMPARE(tabs()->count(), readable ? 2 : 1);
    QCOMPARE(tabAt(0)->filePath(), goodPath());
    if (readable)
        QCOMPARE(tabAt(1)->filePath(), path);
#ifdef Q_OS_UNIX
    ::chmod(QFile::encodeName(path).constData(), 0600);
#endif
}

// The user picks a file, and it is gone before the program reads it.
void TestRobustness::fileRemovedAfterTheDialog()
{
    const QString path = dir.filePath(QStringLiteral("vanishing.txt"));
    QVERIFY(writeFile(path, goodList));
    bool answered = false;
    std::function<void()> answer = [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(0, this, answer); // not up yet: look again on the loop's next turn
            return;
        }
        // The dialog has found the file; it goes away right after, before the program reads it.
        dialog->selectFile(path);
        QFile::remove(path);
        answered = true;
        static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    };
    QTimer::singleShot(0, this, answer);
    window->findChild<QAction *>(QStringLiteral("actionOpenFile"))->trigger();
    QVERIFY(answered);
    QVERIFY(!QFile::exists(path));
    QCOMPARE(tabs()->count(), 1);
    QCOMPARE(shownCells(viewOf(goodTab)->model()), goodCells);
}

// A real program file, this test itself: it opens as a list of whatever its bytes say, and every
// node of it can be shown.
void TestRobustness::realExecutableOpensAsText()
{
    const QString path = QCoreApplication::applicationFilePath();
    QFile self(path);
    QVERIFY(self.open(QIODevice::ReadOnly));
#ifdef Q_OS_WIN
    QVERIFY(self.read(2) == "MZ");
#else
    QVERIFY(self.read(4)
            == "\x7f"
               "ELF");
#endif

    ReferenceList list;
    QVERIFY(list.load(QFile::encodeName(path)));
    QVERIFY(!list.references.empty());
    TreeModel treeModel(&list);
    const QStringList leaves = shownLeaves(&treeModel);
    QVERIFY(!leaves.isEmpty());
    ListModel listModel(&list);
    QCOMPARE(size_t(listModel.rowCount()), list.references.size());
    for (int row = 0; row < listModel.rowCount(); ++row)
        QVERIFY(listModel.index(row, 0).data().toString().startsWith(QString::number(row + 1) + " - "));

    WinTab *tab = window->addFileTab(path);
    QVERIFY(tab);
    QCOMPARE(shownCells(viewOf(goodTab)->model()), goodCells);
}

// One line of 50 MB: one record whose path holds the bytes once, in a buffer of its own size, and a
// tree leaf of that name, of which the view is shown the beginning.
void TestRobustness::fiftyMegabyteLineIsHeldOnce()
{
    const int length = 50 * 1024 * 1024;
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("2 h\nsim/");
        file.write(QByteArray(length, 'x'));
        file.write("\tint\ty\n");
    }

    ReferenceList list;
    QVERIFY(list.load(QFile::encodeName(path)));
    QCOMPARE(list.references.size(), size_t(1));
    const Reference &record = list.references.front();
    QCOMPARE(record.path.size(), length + 4);
    QVERIFY(record.path.capacity() < length + 1024 * 1024);
    QCOMPARE(record.fields.toList(), (QList<QByteArray> {"int", "y"}));

    TreeModel model(&list);
    const QModelIndex sim = model.index(0, 0);
    QCOMPARE(sim.data().toString(), QStringLiteral("sim"));
    const QModelIndex leaf = model.index(0, 0, sim);
    QCOMPARE(static_cast<const TreeItem *>(leaf.internalPointer())->name.size(), length);
    QCOMPARE(leaf.data().toString().size(), displayLimit);
    QCOMPARE(model.index(0, 1, sim).data().toString(), QStringLiteral("int"));
}

// A million records: all loaded, in order, and the tree holds every one of them.
void TestRobustness::millionLines()
{
    const int lines = 1000000;
    const QString path = dir.filePath(QStringLiteral("million.txt"));
    {
        QByteArray content("2 h\n");
        content.reserve(lines * 24);
        char line[40];
        // Written out of order, so that the loader has to sort.
        for (int i = 0; i < lines; ++i) {
            const int n = int((qint64(i) * 7919) % lines);
            content.append(line, std::snprintf(line, sizeof line, "sim/g%03d/r%07d\tint\n", n % 1000, n));
        }
        QVERIFY(writeFile(path, content));
    }

    ReferenceList list;
    QVERIFY(list.load(QFile::encodeName(path)));
    QCOMPARE(list.references.size(), size_t(lines));
    QCOMPARE(list.references.front().path, QByteArray("sim/g000/r0000000"));
    QCOMPARE(list.references.back().path, QByteArray("sim/g999/r0999999"));
    for (size_t i = 1; i < list.references.size(); ++i) {
        if (!(list.references[i - 1].path < list.references[i].path))
            QFAIL(qPrintable("out of order at " + QString::number(i)));
    }

    TreeModel model(&list);
    const QModelIndex sim = model.index(0, 0);
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.rowCount(sim), 1000);
    int leaves = 0;
    for (int group = 0; group < 1000; ++group)
        leaves += model.rowCount(model.index(group, 0, sim));
    QCOMPARE(leaves, lines);
}

// Another program appends to the file while it is read. The load ends, and what it read is the file
// as it was at some moment: whole lines from the first on, and at most one last line cut short.
void TestRobustness::fileGrowingWhileRead()
{
    const QString path = dir.filePath(QStringLiteral("growing.txt"));
    const int firstLines = 100000;
    const int maxLines = 1500000;
    QByteArray start("2 h\n");
    for (int n = 0; n < firstLines; ++n)
        start += growingLine(n);
    QVERIFY(writeFile(path, start));

    std::atomic<bool> loading {true};
    std::atomic<int> written {firstLines};
    std::thread writer([&] {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return;
        int n = firstLines;
        while (loading && n < maxLines) {
            QByteArray chunk;
            for (int i = 0; i < 1000; ++i)
                chunk += growingLine(n++);
            if (file.write(chunk) != chunk.size())
                break;
            written = n;
        }
    });

    ReferenceList list;
    const bool loaded = list.load(QFile::encodeName(path));
    loading = false;
    writer.join();
    QVERIFY(loaded);

    QList<int> whole;
    QList<QByteArray> cut;
    for (const Reference &record : list.references) {
        bool number = false;
        const int n = record.path.mid(9).toByteArray().toInt(&number);
        if (record.path.startsWith("sim/grow/") && record.path.size() == 16 && number
            && record.fields == QList<QByteArray> {"int"}) {
            whole.append(n);
            continue;
        }
        QByteArray text = record.path.toByteArray();
        if (!record.fields.isEmpty())
            text += '\t' + record.fields.toList().join('\t');
        cut.append(text);
    }
    QVERIFY(cut.size() <= 1);
    if (!cut.isEmpty())
        QVERIFY2(growingLine(whole.size()).startsWith(cut.first()), cut.first().constData());
    QVERIFY(whole.size() >= firstLines);
    QVERIFY(whole.size() <= written);
    for (int i = 0; i < whole.size(); ++i)
        QCOMPARE(whole.at(i), i);
}

// An update host that sends 100 MB: the client stops taking bytes once the answer is too large for an
// update document, and says why.
void TestRobustness::hundredMegabyteAnswerIsCut()
{
    const qint64 length = 100 * 1024 * 1024;
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::flood(length)});
    crv::ProgramInfoA installed;
    installed.programId = "TESTPROG";
    crv_net::UpdateInfo updateInfo;
    updateInfo.setHostName(server.address().toStdString());
    crv_net::UpdateInfo::UpdateProgramInfo result;

    QVERIFY(!updateInfo.getUpdateProgramInfo(installed, result, 60000));
    QVERIFY2(updateInfo.getLastError().find("is larger than 65536 bytes") != std::string::npos,
             updateInfo.getLastError().c_str());
    // What the server handed out is what the client and the system's socket buffers took in.
    QTRY_VERIFY(server.floodBytesSent() > 65536);
    QVERIFY2(server.floodBytesSent() < 32 * 1024 * 1024, QByteArray::number(server.floodBytesSent()));
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
    TestRobustness test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_robustness.moc"
