#include "data/ReferenceList.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include <windows.h>
#endif

using Fields = QList<QByteArray>;

namespace {

// Path and fields of every record, one text per record, in list order.
QStringList describe(const ReferenceList &list)
{
    QStringList result;
    for (const Reference &record : list.references) {
        QByteArray text = record.path.toByteArray();
        for (const ByteString &field : record.fields)
            text += '|' + field.toByteArray();
        result << QString::fromUtf8(text);
    }
    return result;
}

QByteArray writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content)
{
    QFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return QByteArray();
    return ReferenceList::encodeName(file.fileName());
}

// A list that already holds a record and a kind that load must not keep by accident.
ReferenceList usedList(int32_t kind)
{
    ReferenceList list;
    list.kind = kind;
    Reference old;
    old.parse("old/record\tint");
    list.references.push_back(old);
    return list;
}

} // namespace

class TestReferenceList : public QObject
{
    Q_OBJECT

private slots:
    void decodeTextStopsAtNul_data();
    void decodeTextStopsAtNul();
    void parseLine_data();
    void parseLine();
    void parseEmptyLineKeepsRecord();
    void loadFile_data();
    void loadFile();
    void loadLongLinesAcrossReads();
    void loadContaining_data();
    void loadContaining();
    void loadRefusesWhatIsNotARegularFile_data();
    void loadRefusesWhatIsNotARegularFile();
    void loadByName_data();
    void loadByName();
#ifdef Q_OS_UNIX
    void loadFollowsSymlinkToFile();
#endif
    void loadNonLatinPath();
#ifdef Q_OS_UNIX
    void loadUnreadableFileAsPermissionsSay();
#endif
    void loadReplacesEarlierRecords();
    void copiesOutliveTheirList_data();
    void copiesOutliveTheirList();
};

void TestReferenceList::decodeTextStopsAtNul_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("ascii") << QByteArray("sim/time") << QString("sim/time");
    QTest::newRow("utf-8") << QByteArray("gr\xc3\xbc\xc3\x9f/\xce\xb1") << QString::fromUtf8("grüß/α");
    QTest::newRow("nul ends text") << QByteArray("abc\0def", 7) << QString("abc");
    QTest::newRow("leading nul") << QByteArray("\0abc", 4) << QString();
}

void TestReferenceList::decodeTextStopsAtNul()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(decodeText(bytes), text);
}

void TestReferenceList::parseLine_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<Fields>("fields");

    QTest::newRow("datarefs line") << QByteArray("a/b/c\tfloat\ty\tmeters\tHeight of c")
                                   << QByteArray("a/b/c") << Fields {"float", "y", "meters", "Height of c"};
    QTest::newRow("commands line") << QByteArray("a/b/go      Go somewhere.") << QByteArray("a/b/go")
                                   << Fields {"Go somewhere."};
    QTest::newRow("empty units dropped")
        << QByteArray("a/b\tint\ty\t\tCount") << QByteArray("a/b") << Fields {"int", "y", "Count"};
    QTest::newRow("path only") << QByteArray("a/b") << QByteArray("a/b") << Fields {};
    QTest::newRow("only a tab after path") << QByteArray("a/b\t") << QByteArray("a/b") << Fields {};
    QTest::newRow("only blanks and tabs after path")
        << QByteArray("a/b \t \t ") << QByteArray("a/b") << Fields {};
    QTest::newRow("leading tab gives empty path")
        << QByteArray("\tint\ty") << QByteArray() << Fields {"int", "y"};
    QTest::newRow("leading blank gives empty path")
        << QByteArray("  Do it.") << QByteArray() << Fields {"Do it."};
    QTest::newRow("only blanks") << QByteArray("   ") << QByteArray() << Fields {};
    QTest::newRow("blanks between columns stay one field")
        << QByteArray("a/b float y meters") << QByteArray("a/b") << Fields {"float y meters"};
    QTest::newRow("blank ends path, tabs split rest")
        << QByteArray("a/b float\ty") << QByteArray("a/b") << Fields {"float", "y"};
    QTest::newRow("six-byte trim set at both ends")
        << QByteArray("a\t\f\v\r\n x\ty \r\n\v\f\t") << QByteArray("a") << Fields {"x", "y"};
    QTest::newRow("trim bytes inside stay")
        << QByteArray("a\tx\ry\fz w") << QByteArray("a") << Fields {"x\ry\fz w"};
    QTest::newRow("blanks inside a piece stay")
        << QByteArray("a\t x \t y z ") << QByteArray("a") << Fields {"x ", " y z"};
    QTest::newRow("many tabs between")
        << QByteArray("a\t\t\tx\t\t\ty") << QByteArray("a") << Fields {"x", "y"};
    QTest::newRow("nul bytes kept") << QByteArray("a\0b\tx\0y", 7) << QByteArray("a\0b", 3)
                                    << Fields {QByteArray("x\0y", 3)};
    QTest::newRow("more fields than columns")
        << QByteArray("a\t1\t2\t3\t4\t5\t6") << QByteArray("a") << Fields {"1", "2", "3", "4", "5", "6"};
}

void TestReferenceList::parseLine()
{
    QFETCH(QByteArray, line);
    QFETCH(QByteArray, path);
    QFETCH(Fields, fields);

    Reference record;
    record.path = "stale";
    record.fields = Fields {"stale"};
    QVERIFY(record.parse(line));
    QCOMPARE(record.path.toByteArray(), path);
    QCOMPARE(record.fields.toList(), fields);
}

void TestReferenceList::parseEmptyLineKeepsRecord()
{
    Reference record;
    QVERIFY(record.parse("a/b\tint"));
    QVERIFY(!record.parse(QByteArray()));
    QCOMPARE(record.path.toByteArray(), QByteArray("a/b"));
    QCOMPARE(record.fields.toList(), Fields {"int"});
}

void TestReferenceList::loadFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("records");

    QTest::newRow("header line only") << QByteArray("2\n") << int(DataRefs) << QStringList();
    QTest::newRow("header line without line feed") << QByteArray("2") << int(DataRefs) << QStringList();
    QTest::newRow("header line with text")
        << QByteArray("2 1210 Mon Nov 24\n\na/b\tint\n") << int(DataRefs) << QStringList {"a/b|int"};
    QTest::newRow("first line is a record")
        << QByteArray("b/go Go.\na/go Went.\n") << int(Commands) << QStringList {"a/go|Went.", "b/go|Go."};
    QTest::newRow("empty first line") << QByteArray("\n2\tx\n") << int(Commands) << QStringList {"2|x"};
    QTest::newRow("empty file") << QByteArray() << int(Commands) << QStringList();
    QTest::newRow("only a line feed") << QByteArray("\n") << int(Commands) << QStringList();
    QTest::newRow("later lines starting with 2 are records")
        << QByteArray("2\n2d/x\tint\n") << int(DataRefs) << QStringList {"2d/x|int"};
    QTest::newRow("byte order sort") << QByteArray("2\na/b\na-c/d\na/b/c\nA/z\n") << int(DataRefs)
                                     << QStringList {"A/z", "a-c/d", "a/b", "a/b/c"};
    QTest::newRow("underscore between cases")
        << QByteArray("x\n_x\nX\n") << int(Commands) << QStringList {"X", "_x", "x"};
    QTest::newRow("high bytes sort after ascii") << QByteArray("\xc3\xa9t\xc3\xa9\nzulu\n") << int(Commands)
                                                 << QStringList {"zulu", QString::fromUtf8("été")};
    QTest::newRow("empty path sorts first")
        << QByteArray("2\nb\tint\n\tint\ty\n") << int(DataRefs) << QStringList {"|int|y", "b|int"};
    QTest::newRow("duplicates both kept")
        << QByteArray("2\na\tint\na\tint\n") << int(DataRefs) << QStringList {"a|int", "a|int"};
    QTest::newRow("crlf line ends") << QByteArray("2\r\nb\tint\ty\r\na\tfloat\r\n") << int(DataRefs)
                                    << QStringList {"a|float", "b|int|y"};
    QTest::newRow("crlf on a path-only line")
        << QByteArray("x\r\ny\r\n") << int(Commands) << QStringList {"x", "y"};
    QTest::newRow("empty crlf first line") << QByteArray("\r\n2\r\n") << int(Commands) << QStringList {"2"};
    QTest::newRow("last line without line feed")
        << QByteArray("2\na\tint\nb\tfloat") << int(DataRefs) << QStringList {"a|int", "b|float"};
    QTest::newRow("blank line is a record, empty line is not")
        << QByteArray("2\n\n   \n\na\n") << int(DataRefs) << QStringList {"", "a"};
    QTest::newRow("real-shaped datarefs")
        << QByteArray("2 1210 Mon Nov 24 10:10:21 2025\n\n"
                      "sim/aircraft/autopilot/vvi_step_ft\tfloat\ty\tfeet\tStep increment for VVI\t\n"
                      "sim/aircraft/autopilot/alt_step_ft\tfloat\ty\tfeet\tStep increment for altitude\t\n")
        << int(DataRefs)
        << QStringList {"sim/aircraft/autopilot/alt_step_ft|float|y|feet|Step increment for altitude",
                        "sim/aircraft/autopilot/vvi_step_ft|float|y|feet|Step increment for VVI"};
    QTest::newRow("real-shaped commands")
        << QByteArray("sim/none/none                                      Do nothing.\n"
                      "sim/operation/quit                                 Quit X-Plane.\n")
        << int(Commands) << QStringList {"sim/none/none|Do nothing.", "sim/operation/quit|Quit X-Plane."};
}

void TestReferenceList::loadFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, kind);
    QFETCH(QStringList, records);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray name = writeFile(dir, "list.txt", content);
    QVERIFY(!name.isEmpty());

    ReferenceList list = usedList(kind == DataRefs ? Commands : DataRefs);
    QVERIFY(list.load(name));
    QCOMPARE(list.kind, kind);
    QCOMPARE(describe(list), records);
}

// Lines longer than one read, and lines split across reads, come out whole.
void TestReferenceList::loadLongLinesAcrossReads()
{
    QByteArray content = "2\n";
    QStringList expected;
    for (int i = 0; i < 400; ++i) {
        const QByteArray path = "p/" + QByteArray::number(100000 + i);
        const QByteArray description(i * 37 % 9000 + 1 + (i == 200 ? 3 * 1024 * 1024 : 0),
                                     char('a' + i % 26));
        content += path + "\tint\t" + description + (i % 3 == 0 ? "\r\n" : "\n");
        expected << QString::fromLatin1(path + "|int|" + description);
    }
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray name = writeFile(dir, "long.txt", content);
    QVERIFY(!name.isEmpty());

    ReferenceList list;
    QVERIFY(list.load(name));
    QCOMPARE(list.references.size(), size_t(400));
    QCOMPARE(describe(list), expected);
}

// A search reads only the lines that hold its text; the first line still tells the kind.
void TestReferenceList::loadContaining_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QStringList>("records");

    QTest::newRow("only lines with the text, sorted")
        << QByteArray("2\nb/x\tint\na/y\tint\nc/z\tfloat x\n") << QByteArray("x") << int(DataRefs)
        << QStringList {"b/x|int", "c/z|float x"};
    QTest::newRow("header without the text") << QByteArray("2 1210\na\tint\n") << QByteArray("zz") << int(DataRefs)
                                             << QStringList();
    QTest::newRow("first line a record with the text")
        << QByteArray("b/go Go.\na/go Went.\n") << QByteArray("Go.") << int(Commands) << QStringList {"b/go|Go."};
    QTest::newRow("first line a record without the text")
        << QByteArray("b/go Go.\na/go Went.\n") << QByteArray("Went") << int(Commands) << QStringList {"a/go|Went."};
    QTest::newRow("last line without line feed")
        << QByteArray("x\nyy\nzyy") << QByteArray("yy") << int(Commands) << QStringList {"yy", "zyy"};
    QTest::newRow("crlf line ends") << QByteArray("2\r\nb\tint\r\na\tfloat\r\n") << QByteArray("float")
                                    << int(DataRefs) << QStringList {"a|float"};
    QTest::newRow("empty text keeps nothing") << QByteArray("2\na\n") << QByteArray("") << int(DataRefs) << QStringList();
    QByteArray many = "2\n";
    QStringList found;
    for (int i = 0; i < 100000; ++i) {
        const QByteArray path = "sim/" + QByteArray::number(100000 + i) + (i % 7 == 0 ? "/hit" : "/other");
        many += path + "\tint\ty\n";
        if (i % 7 == 0)
            found << QString::fromLatin1(path + "|int|y");
    }
    QTest::newRow("lines across many reads") << many << QByteArray("/hit") << int(DataRefs) << found;
    QTest::newRow("text in a line longer than a read")
        << "2\n" + QByteArray(5 << 20, 'a') + "b\tint\nab\n" << QByteArray("aab") << int(DataRefs)
        << QStringList {QString(5 << 20, QLatin1Char('a')) + "b|int"};
}

void TestReferenceList::loadContaining()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, text);
    QFETCH(int, kind);
    QFETCH(QStringList, records);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray name = writeFile(dir, "list.txt", content);
    QVERIFY(!name.isEmpty());
    ReferenceList list = usedList(kind == DataRefs ? Commands : DataRefs);
    QVERIFY(list.loadContaining(name, text));
    QCOMPARE(list.kind, kind);
    QCOMPARE(describe(list), records);
    QVERIFY(!list.incomplete);
}

void TestReferenceList::loadRefusesWhatIsNotARegularFile_data()
{
    QTest::addColumn<QString>("what");

    QTest::newRow("missing file") << "missing";
    QTest::newRow("empty name") << "empty";
    QTest::newRow("name with nul") << "nul";
    QTest::newRow("directory") << "directory";
#ifdef Q_OS_UNIX
    QTest::newRow("fifo") << "fifo";
    QTest::newRow("socket") << "socket";
    QTest::newRow("character device") << "device";
    QTest::newRow("dangling symlink") << "dangling";
#endif
#ifdef Q_OS_WIN
    QTest::newRow("device name NUL") << "NUL";
    QTest::newRow("device name COM1") << "COM1";
    QTest::newRow("NUL device in the device namespace") << "\\\\.\\NUL";
    QTest::newRow("named pipe with a waiting server") << "pipe";
#endif
}

void TestReferenceList::loadRefusesWhatIsNotARegularFile()
{
    QFETCH(QString, what);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray base = ReferenceList::encodeName(dir.path());
    QByteArray name = what.toUtf8();
#ifdef Q_OS_UNIX
    int socketFd = -1;
#endif
#ifdef Q_OS_WIN
    HANDLE pipe = INVALID_HANDLE_VALUE;
#endif
    if (what == "missing") {
        name = base + "/missing.txt";
    } else if (what == "nul") {
        const QByteArray real = writeFile(dir, "real.txt", "a\n");
        QVERIFY(!real.isEmpty());
        name = real + QByteArray("\0.txt", 5);
    } else if (what == "empty") {
        name.clear();
    } else if (what == "directory") {
        name = base + "/folder";
        QVERIFY(QDir().mkdir(dir.filePath("folder")));
#ifdef Q_OS_UNIX
    } else if (what == "fifo") {
        // Without a writer, opening a FIFO for reading blocks unless it is opened non-blocking.
        name = base + "/pipe";
        QVERIFY(::mkfifo(name.constData(), 0644) == 0);
    } else if (what == "socket") {
        name = base + "/sock";
        socketFd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        QVERIFY(socketFd >= 0);
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        QVERIFY(size_t(name.size()) < sizeof(address.sun_path));
        std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
        QVERIFY(::bind(socketFd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) == 0);
    } else if (what == "device") {
        name = "/dev/null";
    } else if (what == "dangling") {
        name = base + "/link.txt";
        QVERIFY(::symlink((base + "/gone.txt").constData(), name.constData()) == 0);
#endif
#ifdef Q_OS_WIN
    } else if (what == "pipe") {
        // The server waits for its client: the open succeeds, and a read would wait for data.
        const QString pipeName = QStringLiteral("\\\\.\\pipe\\refscope-%1").arg(::GetCurrentProcessId());
        pipe = ::CreateNamedPipeW(reinterpret_cast<const wchar_t *>(pipeName.utf16()), PIPE_ACCESS_DUPLEX,
                                  PIPE_TYPE_BYTE | PIPE_WAIT, 1, 0, 0, 0, nullptr);
        QVERIFY(pipe != INVALID_HANDLE_VALUE);
        name = ReferenceList::encodeName(pipeName);
#endif
    }

    ReferenceList list = usedList(Commands);
    const bool loaded = list.load(name);
#ifdef Q_OS_UNIX
    if (socketFd >= 0)
        ::close(socketFd);
#endif
#ifdef Q_OS_WIN
    if (pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(pipe);
#endif
    QVERIFY(!loaded);
    QVERIFY(list.references.empty());
    QCOMPARE(list.kind, int32_t(Commands));
}

// Names of one file written in the ways a caller may write them.
void TestReferenceList::loadByName_data()
{
    QTest::addColumn<QString>("how");

    QTest::newRow("path longer than 260 characters") << "long";
#ifdef Q_OS_WIN
    QTest::newRow("backslash separators") << "backslashes";
    QTest::newRow("\\\\?\\ form") << "verbatim";
    QTest::newRow("long path in \\\\?\\ form") << "long verbatim";
#endif
}

void TestReferenceList::loadByName()
{
    QFETCH(QString, how);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QString folder = dir.path();
    if (how.startsWith(QLatin1String("long"))) {
        while (folder.size() <= 260)
            folder += QStringLiteral("/a folder of the simulator");
        QVERIFY(QDir().mkpath(folder));
    }
    const QString path = folder + QStringLiteral("/Commands.txt");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("sim/go Go.\n");
    file.close();

    QString name = path;
    if (how == "backslashes")
        name = QDir::toNativeSeparators(path);
    else if (how.endsWith(QLatin1String("verbatim")))
        name = QStringLiteral("\\\\?\\") + QDir::toNativeSeparators(path);
    ReferenceList list;
    QVERIFY(list.load(ReferenceList::encodeName(name)));
    QCOMPARE(describe(list), QStringList {"sim/go|Go."});
}

#ifdef Q_OS_UNIX
void TestReferenceList::loadFollowsSymlinkToFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray target = writeFile(dir, "target.txt", "2\na\tint\n");
    QVERIFY(!target.isEmpty());
    const QByteArray link = QFile::encodeName(dir.filePath("link.txt"));
    QVERIFY(::symlink(target.constData(), link.constData()) == 0);

    ReferenceList list;
    QVERIFY(list.load(link));
    QCOMPARE(describe(list), QStringList {"a|int"});
}
#endif

void TestReferenceList::loadNonLatinPath()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QString::fromUtf8("Пилот Ωμέγα 飞行"));
    QVERIFY(QDir().mkpath(folder));
    const QString fileName = folder + QString::fromUtf8("/Команды.txt");
    QFile file(fileName);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("sim/go Go.\n");
    file.close();

    ReferenceList list;
    QVERIFY(list.load(ReferenceList::encodeName(fileName)));
    QCOMPARE(list.kind, int32_t(Commands));
    QCOMPARE(describe(list), QStringList {"sim/go|Go."});
}

#ifdef Q_OS_UNIX
// Root may read a file whose mode forbids it; anyone else may not. load agrees with the system.
void TestReferenceList::loadUnreadableFileAsPermissionsSay()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray name = writeFile(dir, "locked.txt", "x\n");
    QVERIFY(!name.isEmpty());
    QVERIFY(::chmod(name.constData(), 0) == 0);
    const bool readable = ::access(name.constData(), R_OK) == 0;

    ReferenceList list;
    QCOMPARE(list.load(name), readable);
    QCOMPARE(describe(list), readable ? QStringList {"x"} : QStringList());
}
#endif

void TestReferenceList::loadReplacesEarlierRecords()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray first = writeFile(dir, "first.txt", "2\na\tint\nb\tint\n");
    const QByteArray second = writeFile(dir, "second.txt", "c Go.\n");
    QVERIFY(!first.isEmpty() && !second.isEmpty());

    ReferenceList list;
    QVERIFY(list.load(first));
    QCOMPARE(list.references.size(), size_t(2));
    QVERIFY(list.load(second));
    QCOMPARE(list.kind, int32_t(Commands));
    QCOMPARE(describe(list), QStringList {"c|Go."});
}

// Records are views into the bytes their list holds: a copy keeps those bytes alive.
void TestReferenceList::copiesOutliveTheirList_data()
{
    QTest::addColumn<bool>("fromFile");

    QTest::newRow("loaded from a file") << true;
    QTest::newRow("parsed from bytes that go away") << false;
}

void TestReferenceList::copiesOutliveTheirList()
{
    QFETCH(bool, fromFile);

    QByteArray content = "2\nb/x\tint\ty\tdesc b\na/x\tfloat\tn\tdesc a\n";
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray name = writeFile(dir, "list.txt", content);
    auto list = std::make_unique<ReferenceList>();
    if (fromFile)
        QVERIFY(list->load(name));
    else
        list->parse(QByteArray::fromRawData(content.constData(), content.size()));
    content.fill('#');

    const Reference record = list->references.at(1);
    const ByteString field = list->references.at(0).fields.at(2);
    list.reset();
    QCOMPARE(record.path.toByteArray(), QByteArray("b/x"));
    QCOMPARE(record.fields.toList(), (Fields {"int", "y", "desc b"}));
    QCOMPARE(field.toByteArray(), QByteArray("desc a"));
}

QTEST_GUILESS_MAIN(TestReferenceList)
#include "tst_referencelist.moc"
