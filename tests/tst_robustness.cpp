#include "LocalUpdateServer.h"

#include "app/Application.h"
#include "app/WinMain.h"
#include "data/ListModel.h"
#include "data/ReferenceList.h"
#include "data/TreeModel.h"
#include "dialogs/WinCheckUpdate.h"
#include "net/UpdateInfo.h"
#include "tab/WinTab.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
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

// Makes a hostile file and says whether the program can read it, so whether a tab opens.
using MakeFile = std::function<bool(const QString &)>;
Q_DECLARE_METATYPE(MakeFile)

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

} // namespace

class TestRobustness : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

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
    delete window;
    window = nullptr;
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
    delete window;
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
// tree leaf of that name.
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
    QCOMPARE(record.fields, (QList<QByteArray> {"int", "y"}));

    TreeModel model(&list);
    const QModelIndex sim = model.index(0, 0);
    QCOMPARE(sim.data().toString(), QStringLiteral("sim"));
    const QModelIndex leaf = model.index(0, 0, sim);
    QCOMPARE(leaf.data().toString().size(), length);
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
        const int n = record.path.mid(9).toInt(&number);
        if (record.path.startsWith("sim/grow/") && record.path.size() == 16 && number
            && record.fields == QList<QByteArray> {"int"}) {
            whole.append(n);
            continue;
        }
        QByteArray text = record.path;
        if (!record.fields.isEmpty())
            text += '\t' + record.fields.join('\t');
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
