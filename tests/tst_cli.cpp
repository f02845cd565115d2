#include "CliRun.h"

#include "cli/CommandLine.h"
#include "data/ReferenceList.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray dataRefs = "2 1210\n\n"
                            "sim/b/speed\tfloat\ty\tknots\tAir speed, indicated\n"
                            "sim/a/flaps\tfloat[8]\tn\tratio\tFlap \"deploy\" ratio\n"
                            "sim/a/gear\tint\ty\tenum\tGear handle, as in sim/b\textra one\n";
const QByteArray dataRefsNew = "2 1211\n"
                               "sim/b/speed\tdouble\ty\tknots\tAir speed, indicated\n"
                               "sim/a/gear\tint\ty\tenum\tGear handle, as in sim/b\textra one\n"
                               "sim/c/new\tint\tn\t\tNew\n";
const QByteArray commandsList = "sim/x/go Go ahead.\nsim/x/stop\tStop, now.\n";

// The texts of a record as the loader reads them, as JSON holds them.
QJsonObject recordAsJson(const Reference &record, int32_t kind)
{
    static const char *const keys[2][5] = {{"path", "type", "writable", "units", "description"},
                                           {"path", "description", "", "", ""}};
    const int columns = kind == DataRefs ? 5 : 2;
    QJsonObject object {{QStringLiteral("path"), decodeText(record.path)}};
    QJsonArray extra;
    for (int i = 0; i < record.fields.size(); ++i) {
        if (i + 1 < columns)
            object.insert(QLatin1String(keys[kind][i + 1]), decodeText(record.fields.at(i)));
        else
            extra.append(decodeText(record.fields.at(i)));
    }
    for (int column = record.fields.size() + 1; column < columns; ++column)
        object.insert(QLatin1String(keys[kind][column]), QString());
    if (!extra.isEmpty())
        object.insert(QStringLiteral("extra"), extra);
    return object;
}

} // namespace

class TestCli : public QObject
{
    Q_OBJECT

private slots:
    void eachCommand_data();
    void eachCommand();
    void jsonReadsBackAsTheLoaderReads_data();
    void jsonReadsBackAsTheLoaderReads();
    void closedPipeEndsQuietly();

private:
    QTemporaryDir dir;
};

void TestCli::eachCommand_data()
{
    // OLD and NEW stand for the two files; a FILE of - reads oldContent from standard input.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("oldContent");
    QTest::addColumn<QByteArray>("newContent");
    QTest::addColumn<int>("status");
    QTest::addColumn<QByteArray>("out");

    QTest::newRow("show, text aligned")
        << QStringList {"show", "OLD"} << dataRefs << QByteArray() << 0
        << QByteArray("Data ref     Type      Writable  Units  Description\n"
                      "sim/a/flaps  float[8]  n         ratio  Flap \"deploy\" ratio\n"
                      "sim/a/gear   int       y         enum   Gear handle, as in sim/b  extra one\n"
                      "sim/b/speed  float     y         knots  Air speed, indicated\n");
    QTest::newRow("show, csv quoted")
        << QStringList {"show", "OLD", "--format=csv"} << commandsList << QByteArray() << 0
        << QByteArray("Command,Description\r\nsim/x/go,Go ahead.\r\nsim/x/stop,\"Stop, now.\"\r\n");
    // CSI and NEL (C1 controls) and a line separator, which could drive a terminal or end a row.
    const QByteArray controls = "2\nsim/a\xc2\x9b" "2J\tint\ty\tu\tdesc\xc2\x85next\xe2\x80\xa8line\n";
    QTest::newRow("show, C1 controls and line separators replaced in text")
        << QStringList {"show", "OLD"} << controls << QByteArray() << 0
        << QByteArray("Data ref  Type  Writable  Units  Description\n"
                      "sim/a\xef\xbf\xbd" "2J  int   y         u      desc\xef\xbf\xbdnext\xef\xbf\xbdline\n");
    QTest::newRow("show, C1 controls and line separators replaced in tsv")
        << QStringList {"show", "OLD", "--format", "tsv"} << controls << QByteArray() << 0
        << QByteArray("Data ref\tType\tWritable\tUnits\tDescription\n"
                      "sim/a\xef\xbf\xbd" "2J\tint\ty\tu\tdesc\xef\xbf\xbdnext\xef\xbf\xbdline\n");
    QTest::newRow("show, C1 controls and line separators kept in csv")
        << QStringList {"show", "OLD", "--format", "csv"} << controls << QByteArray() << 0
        << "Data ref,Type,Writable,Units,Description\r\n" + controls.mid(2).replace('\t', ',').replace("\n", "\r\n");
    QTest::newRow("show, C1 controls and line separators kept in jsonl")
        << QStringList {"show", "OLD", "--format", "jsonl"} << controls << QByteArray() << 0
        << QByteArray("{\"path\":\"sim/a\xc2\x9b" "2J\",\"type\":\"int\",\"writable\":\"y\",\"units\":\"u\","
                      "\"description\":\"desc\xc2\x85next\xe2\x80\xa8line\"}\n");
    QTest::newRow("search, every text")
        << QStringList {"search", "OLD", "sim/a", "Gear", "--format", "tsv"} << dataRefs << QByteArray() << 0
        << QByteArray("Data ref\tType\tWritable\tUnits\tDescription\nsim/a/gear\tint\ty\tenum\tGear handle, as in sim/b\textra one\n");
    QTest::newRow("search, path only")
        << QStringList {"search", "OLD", "sim/b", "--path-only", "--format", "tsv"} << dataRefs << QByteArray() << 0
        << QByteArray("Data ref\tType\tWritable\tUnits\tDescription\nsim/b/speed\tfloat\ty\tknots\tAir speed, indicated\n");
    QTest::newRow("search, type and writable as written")
        << QStringList {"search", "OLD", "sim/", "--type", "float[8]", "--writable", "n", "--format", "tsv"} << dataRefs
        << QByteArray() << 0 << QByteArray("Data ref\tType\tWritable\tUnits\tDescription\nsim/a/flaps\tfloat[8]\tn\tratio\tFlap \"deploy\" ratio\n");
    QTest::newRow("search, a field on its own")
        << QStringList {"search", "OLD", "knots\tAir"} << dataRefs << QByteArray() << 1 << QByteArray();
    QTest::newRow("search, type on a commands list")
        << QStringList {"search", "OLD", "sim", "--type", "int"} << commandsList << QByteArray() << 2 << QByteArray();
    QTest::newRow("diff, text, the versions first")
        << QStringList {"diff", "OLD", "NEW"} << dataRefs << dataRefsNew << 1
        << QByteArray("version: 2 1210 -> 2 1211\n"
                      "- sim/a/flaps  float[8]  n  ratio  Flap \"deploy\" ratio\n"
                      "~ sim/b/speed  Type: float -> double\n"
                      "+ sim/c/new  int  n  New\n"
                      "1 added, 1 removed, 1 changed\n");
    QTest::newRow("diff, jsonl names the columns")
        << QStringList {"diff", "OLD", "NEW", "--format", "jsonl"} << QByteArray("x A\n") << QByteArray("x B\n") << 1
        << QByteArray("{\"change\":\"changed\",\"path\":\"x\",\"columns\":[\"description\"],"
                      "\"old\":{\"description\":\"A\"},\"new\":{\"description\":\"B\"}}\n");
    QTest::newRow("diff, a repeated path is a set")
        << QStringList {"diff", "OLD", "NEW", "--stat", "--format", "csv"} << QByteArray("x A\nx B\nx A\n")
        << QByteArray("x B\nx A\nx C\n") << 1 << QByteArray("Added,Removed,Changed\r\n1,0,0\r\n");
    QTest::newRow("diff, identical lists")
        << QStringList {"diff", "OLD", "NEW", "--stat"} << dataRefs << dataRefs << 0
        << QByteArray("0 added, 0 removed, 0 changed\n");
    QTest::newRow("diff, two kinds") << QStringList {"diff", "OLD", "NEW"} << dataRefs << commandsList << 2 << QByteArray();
    QTest::newRow("unknown format") << QStringList {"show", "OLD", "--format", "xml"} << dataRefs << QByteArray() << 2
                                    << QByteArray();
    QTest::newRow("option of another command")
        << QStringList {"show", "OLD", "--stat"} << dataRefs << QByteArray() << 2 << QByteArray();
    QTest::newRow("search without a text") << QStringList {"search", "OLD"} << dataRefs << QByteArray() << 2 << QByteArray();
    QTest::newRow("help after a command")
        << QStringList {"diff", "--help"} << QByteArray() << QByteArray() << 0 << CommandLine::help();
    QTest::newRow("list format, written as the file was")
        << QStringList {"show", "OLD", "--format", "list"} << commandsList << QByteArray() << 0
        << QByteArray("sim/x/go\tGo ahead.\nsim/x/stop\tStop, now.\n");
    QTest::newRow("list format of a diff") << QStringList {"diff", "OLD", "NEW", "--format", "list"} << dataRefs
                                           << dataRefs << 2 << QByteArray();
    QTest::newRow("a simulator's address for a file") << QStringList {"show", "OLD", "--sim", "127.0.0.1:8086"}
                                                      << dataRefs << QByteArray() << 2 << QByteArray();
    QTest::newRow("sim without its command") << QStringList {"sim"} << QByteArray() << QByteArray() << 2 << QByteArray();
    QTest::newRow("sim, an address without a port")
        << QStringList {"sim", "get", "sim/a", "--sim", "localhost"} << QByteArray() << QByteArray() << 2 << QByteArray();
    QTest::newRow("text after --") << QStringList {"search", "OLD", "--", "--stat"} << dataRefs << QByteArray() << 1
                                   << QByteArray();

    QTest::newRow("an unknown short option") << QStringList {"search", "OLD", "sim", "-x"} << dataRefs << QByteArray()
                                             << 2 << QByteArray();
    const QByteArray trims = "sim/t/trim Trim, -1 to 1\nsim/t/Trim2 Trim, 0 to 1\nsim/t/caf\xc3\xa9 Caf\xc3\xa9\n";
    QTest::newRow("a negative number is a text; paths alone")
        << QStringList {"search", "OLD", "-1", "--format", "paths"} << trims << QByteArray() << 0
        << QByteArray("sim/t/trim\n");
    QTest::newRow("ignore case, counted, short options together")
        << QStringList {"search", "OLD", "TRIM", "-ic"} << trims << QByteArray() << 0 << QByteArray("2\n");
    QTest::newRow("ignore case: other letters exactly")
        << QStringList {"search", "OLD", "CAF\xc3\x89", "-i"} << trims << QByteArray() << 1 << QByteArray();
    QTest::newRow("standard input, its first line kept in a list")
        << QStringList {"show", "-", "--format", "list"} << dataRefs.left(dataRefs.indexOf("sim/a/flaps")) << QByteArray() << 0
        << QByteArray("2 1210\nsim/b/speed\tfloat\ty\tknots\tAir speed, indicated\n");
    QTest::newRow("standard input as OLD, versions in the counts")
        << QStringList {"diff", "-", "NEW", "--stat", "--format", "jsonl"} << dataRefs << dataRefsNew << 1
        << QByteArray("{\"added\":1,\"removed\":1,\"changed\":1,\"old_version\":\"2 1210\",\"new_version\":\"2 1211\"}\n");
    QTest::newRow("standard input twice") << QStringList {"diff", "-", "-"} << dataRefs << QByteArray() << 2 << QByteArray();
    QTest::newRow("no header row, columns as wide as the cells")
        << QStringList {"show", "OLD", "--no-header"} << dataRefs << QByteArray() << 0
        << QByteArray("sim/a/flaps  float[8]  n  ratio  Flap \"deploy\" ratio\n"
                      "sim/a/gear   int       y  enum   Gear handle, as in sim/b  extra one\n"
                      "sim/b/speed  float     y  knots  Air speed, indicated\n");
    QTest::newRow("colour: diff's lines by their change")
        << QStringList {"diff", "OLD", "NEW", "--color=always", "--no-header"} << dataRefs << dataRefsNew << 1
        << QByteArray("\x1b[31m- sim/a/flaps  float[8]  n  ratio  Flap \"deploy\" ratio\x1b[m\n"
                      "\x1b[33m~ sim/b/speed  Type: float -> double\x1b[m\n"
                      "\x1b[32m+ sim/c/new  int  n  New\x1b[m\n"
                      "1 added, 1 removed, 1 changed\n");
    QTest::newRow("colour: found text marked, controls replaced, columns aligned")
        << QStringList {"search", "OLD", "gear", "-i", "--color=always"}
        << QByteArray("2\nsim/Gear\x01x\tint\ty\tu\tgear up, GEAR down\nsim/b\tint\ty\tu\td\n") << QByteArray() << 0
        << QByteArray("Data ref    Type  Writable  Units  Description\n"
                      "sim/\x1b[1;31mGear\x1b[m\xef\xbf\xbdx  int   y         u      "
                      "\x1b[1;31mgear\x1b[m up, \x1b[1;31mGEAR\x1b[m down\n");
    QTest::newRow("colour: --color alone is auto, none in a pipe")
        << QStringList {"diff", "OLD", "NEW", "--color", "--stat"} << dataRefs << dataRefs << 0
        << QByteArray("0 added, 0 removed, 0 changed\n");
}

void TestCli::eachCommand()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, oldContent);
    QFETCH(QByteArray, newContent);
    QFETCH(int, status);
    QFETCH(QByteArray, out);

    QVERIFY(dir.isValid());
    const QByteArray input = arguments.contains(QStringLiteral("-")) ? oldContent : QByteArray();
    for (QString &argument : arguments) {
        if (argument != QLatin1String("OLD") && argument != QLatin1String("NEW"))
            continue;
        QFile file(dir.filePath(argument));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(argument == QLatin1String("OLD") ? oldContent : newContent);
        argument = file.fileName();
    }
    const CliRun run = runCli(arguments, input);
    QCOMPARE(run.status, status);
    QCOMPARE(run.out, out);
    // Trouble is told in one line, and a bad command line adds the usage.
    if (status == 2)
        QVERIFY2(run.err.startsWith("refscope-cli: ") && run.err.count('\n') >= 1, run.err.constData());
    else
        QCOMPARE(run.err, QByteArray());
}

void TestCli::jsonReadsBackAsTheLoaderReads_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("search"); // empty: show

    static const char awkwardBytes[] = "2\r\nsim/\xff\xfe/bad\tfloat\ty\t\xe2\x82\tcut\r\n"
                                       "sim/nul\tin\0t\tn\tx\r\nsim/\"q\"\\b\tint\tn\t\x1b[31m\tA,\"b\"\r\n"
                                       "sim/t\tint\ty\tu\td\te1\te2\r\n";
    const QByteArray awkward(awkwardBytes, int(sizeof awkwardBytes) - 1);
    QTest::newRow("show, awkward bytes") << awkward << QString();
    QTest::newRow("search, awkward bytes") << awkward << QStringLiteral("int");
    QTest::newRow("show, commands") << commandsList << QString();
}

// JSON as QtCore reads it back holds every record as the window decodes it, in the loader's order.
void TestCli::jsonReadsBackAsTheLoaderReads()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, search);

    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("awkward.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    ReferenceList list;
    QVERIFY(list.load(ReferenceList::encodeName(file.fileName())));
    std::vector<const Reference *> expected;
    if (search.isEmpty()) {
        for (const Reference &record : list.references)
            expected.push_back(&record);
    } else {
        expected = list.matching(search.toUtf8());
    }

    const CliRun run = search.isEmpty()
        ? runCli({"show", file.fileName(), "--format", "jsonl"})
        : runCli({"search", file.fileName(), search, "--format", "jsonl"});
    QCOMPARE(run.status, 0);
    const QList<QByteArray> lines = run.out.split('\n');
    QCOMPARE(lines.size(), int(expected.size()) + 1);
    QVERIFY(lines.last().isEmpty());
    for (size_t i = 0; i < expected.size(); ++i) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(lines.at(int(i)), &error);
        QVERIFY2(error.error == QJsonParseError::NoError, qPrintable(error.errorString()));
        QCOMPARE(document.object(), recordAsJson(*expected[i], list.kind));
    }
}

// A reader that stops early (`| head`) is no trouble: no message, and the status of a search that found.
void TestCli::closedPipeEndsQuietly()
{
    QVERIFY(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("many.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    for (int i = 0; i < 100000; ++i)
        file.write("sim/many/record_" + QByteArray::number(i) + "\tfloat\ty\tmeters\tA record of a long list\n");
    file.close();

    // The reader is refscope-cli --version, which ends without reading: the pipe closes for real.
    QProcess writer;
    QProcess reader;
    writer.setStandardOutputProcess(&reader);
    reader.start(cliProgram(), {"--version"});
    writer.start(cliProgram(), {"search", file.fileName(), "record"});
    QVERIFY(reader.waitForFinished(60000));
    QVERIFY(writer.waitForFinished(60000));
    QCOMPARE(writer.exitStatus(), QProcess::NormalExit);
    QCOMPARE(writer.readAllStandardError(), QByteArray());
    QCOMPARE(writer.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
