#include "net/UpdateInfo.h"

#include "LocalUpdateServer.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTest>
#include <QThreadPool>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

using Answer = LocalUpdateServer::Answer;
using UpdateProgramInfo = crv_net::UpdateInfo::UpdateProgramInfo;

Q_DECLARE_METATYPE(LocalUpdateServer::Answer)

namespace {

crv::ProgramInfoA installedProgram()
{
    crv::ProgramInfoA info;
    info.programId = "TESTPROG";
    info.shortName = "Tester";
    info.longName = "Corvane Tester";
    info.version.major = 1;
    info.version.minor = 2;
    info.version.patch = 3;
    info.version.revision = "aaaaaaaaaaaa";
    info.releaseType = crv::Beta;
    return info;
}

QJsonObject versionObject(double major, double minor, double patch)
{
    return QJsonObject {{"major", major}, {"minor", minor}, {"patch", patch}};
}

QJsonObject publishedObject(double major = 1, double minor = 2, double patch = 4,
                            const QString &type = "final")
{
    return QJsonObject {{"programId", "TESTPROG"},
                        {"version", versionObject(major, minor, patch)},
                        {"releaseType", type},
                        {"downloadUrl", "https://downloads.example.invalid/tester.zip"}};
}

QByteArray toJson(const QJsonObject &object)
{
    return QJsonDocument(object).toJson();
}

QByteArray withField(const QString &key, const QJsonValue &value)
{
    QJsonObject object = publishedObject();
    object.insert(key, value);
    return toJson(object);
}

QByteArray withoutField(const QString &key)
{
    QJsonObject object = publishedObject();
    object.remove(key);
    return toJson(object);
}

QByteArray withVersion(const QJsonObject &version)
{
    QJsonObject object = publishedObject();
    object.insert("version", version);
    return toJson(object);
}

// A valid document padded past the answer size limit.
QByteArray oversizedDocument()
{
    return withField("notes", QString(70 * 1024, QLatin1Char('x')));
}

struct Query
{
    bool ok = false;
    UpdateProgramInfo result;
    std::string error;
};

Query query(const QString &host, unsigned int timeoutMs = 10000,
            const crv::ProgramInfoA &installed = installedProgram())
{
    Query outcome;
    crv_net::UpdateInfo updateInfo;
    updateInfo.setHostName(host.toStdString());
    outcome.ok = updateInfo.getUpdateProgramInfo(installed, outcome.result, timeoutMs);
    outcome.error = updateInfo.getLastError();
    return outcome;
}

// Runs the query on a thread of the global pool, as the program does.
void startPooledQuery(const QString &host, unsigned int timeoutMs, Query &outcome)
{
    QThreadPool::globalInstance()->start(
        QRunnable::create([host, timeoutMs, &outcome] { outcome = query(host, timeoutMs); }));
}

} // namespace

class TestUpdateInfo : public QObject
{
    Q_OBJECT

private slots:
    void readsPublishedRecord();
    void documentAddress_data();
    void documentAddress();
    void versionOrder_data();
    void versionOrder();
    void badAnswers_data();
    void badAnswers();
    void failureKeepsResult();
    void unreachableHost();
    void timeLimit();
    void badHostSettings_data();
    void badHostSettings();
    void worksOnPoolThread();
    void quitCancelsRunningQuery();
    void applicationEndCancelsRunningQuery();
};

void TestUpdateInfo::readsPublishedRecord()
{
    LocalUpdateServer server;
    QJsonObject published = publishedObject(2, 0, 1, "rc");
    QJsonObject version = versionObject(2, 0, 1);
    version.insert("revision", "0123456789ab");
    published.insert("version", version);
    published.insert("longName", "Corvane Tester Pro");
    published.insert("buildDate", "Dec  1 2026");
    published.insert("notes", "Faster search");
    published.insert("urgent", true);
    server.setAnswers({LocalUpdateServer::reply(toJson(published))});

    const Query outcome = query(server.address());

    QVERIFY2(outcome.ok, outcome.error.c_str());
    QCOMPARE(outcome.error, std::string());
    QVERIFY(outcome.result.newVersionAvailable);
    QCOMPARE(outcome.result.versionToString("%major.%minor.%patch %reltype [%revision]"),
             std::string("2.0.1 rc [0123456789ab]"));
    QCOMPARE(outcome.result.releaseType, crv::ReleaseCandidate);
    QCOMPARE(outcome.result.programId, std::string("TESTPROG"));
    QCOMPARE(outcome.result.downloadUrl, std::string("https://downloads.example.invalid/tester.zip"));
    QCOMPARE(outcome.result.longName, std::string("Corvane Tester Pro"));
    QCOMPARE(outcome.result.shortName, std::string("Tester")); // absent: the installed program's
    QCOMPARE(outcome.result.buildDate, std::string("Dec  1 2026"));
    QCOMPARE(outcome.result.notes, std::string("Faster search"));
    QVERIFY(outcome.result.urgent);
    QCOMPARE(outcome.result.httpStatus, 200);
    QCOMPARE(server.userAgents(), QList<QByteArray> {"Tester/1.2.3"});
}

void TestUpdateInfo::documentAddress_data()
{
    QTest::addColumn<QString>("hostSuffix");
    QTest::addColumn<QString>("path");

    QTest::newRow("bare host") << ""
                               << "/updates/TESTPROG.json";
    QTest::newRow("trailing slash") << "/"
                                    << "/updates/TESTPROG.json";
    QTest::newRow("folder") << "/mirror"
                            << "/mirror/updates/TESTPROG.json";
    QTest::newRow("folder with slash") << "/mirror/"
                                       << "/mirror/updates/TESTPROG.json";
}

void TestUpdateInfo::documentAddress()
{
    QFETCH(QString, hostSuffix);
    QFETCH(QString, path);
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(toJson(publishedObject()))});

    const Query outcome = query(server.address() + hostSuffix);

    QVERIFY2(outcome.ok, outcome.error.c_str());
    QCOMPARE(server.requestPaths(), QStringList {path});
}

void TestUpdateInfo::versionOrder_data()
{
    QTest::addColumn<QList<uint>>("installed");
    QTest::addColumn<int>("installedType");
    QTest::addColumn<QList<uint>>("published");
    QTest::addColumn<QString>("publishedType");
    QTest::addColumn<bool>("newer");

    using V = QList<uint>;
    QTest::newRow("same version") << V {1, 2, 3} << 0 << V {1, 2, 3} << "final" << false;
    QTest::newRow("newer patch") << V {1, 2, 3} << 0 << V {1, 2, 4} << "final" << true;
    QTest::newRow("newer minor, lower patch") << V {1, 2, 3} << 0 << V {1, 3, 0} << "final" << true;
    QTest::newRow("newer major, lower minor") << V {1, 2, 3} << 0 << V {2, 0, 0} << "final" << true;
    QTest::newRow("older major, higher minor") << V {2, 0, 0} << 0 << V {1, 9, 9} << "final" << false;
    QTest::newRow("older patch") << V {1, 2, 3} << 0 << V {1, 2, 2} << "final" << false;
    QTest::newRow("alpha to beta") << V {1, 0, 0} << int(crv::Alpha) << V {1, 0, 0} << "beta" << true;
    QTest::newRow("beta to rc") << V {1, 0, 0} << int(crv::Beta) << V {1, 0, 0} << "rc" << true;
    QTest::newRow("rc to final") << V {1, 0, 0} << int(crv::ReleaseCandidate) << V {1, 0, 0} << "final"
                                 << true;
    QTest::newRow("final to rc") << V {1, 0, 0} << 0 << V {1, 0, 0} << "rc" << false;
    QTest::newRow("beta to alpha") << V {1, 0, 0} << int(crv::Beta) << V {1, 0, 0} << "alpha" << false;
    QTest::newRow("numbers before type") << V {1, 0, 0} << 0 << V {1, 0, 1} << "alpha" << true;
    QTest::newRow("wordless type counts as final") << V {1, 0, 0} << 1 << V {1, 0, 0} << "rc" << false;
    QTest::newRow("largest numbers") << V {4294967295u, 0, 0} << 0 << V {4294967295u, 0, 1} << "final"
                                     << true;
    QTest::newRow("beyond a signed int")
        << V {2147483647u, 0, 0} << 0 << V {4294967295u, 0, 0} << "final" << true;
}

void TestUpdateInfo::versionOrder()
{
    QFETCH(QList<uint>, installed);
    QFETCH(int, installedType);
    QFETCH(QList<uint>, published);
    QFETCH(QString, publishedType);
    QFETCH(bool, newer);
    crv::ProgramInfoA info = installedProgram();
    info.version.major = installed[0];
    info.version.minor = installed[1];
    info.version.patch = installed[2];
    info.releaseType = crv::ReleaseType(installedType);
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(
        toJson(publishedObject(published[0], published[1], published[2], publishedType)))});

    const Query outcome = query(server.address(), 10000, info);

    QVERIFY2(outcome.ok, outcome.error.c_str());
    QCOMPARE(outcome.result.newVersionAvailable, newer);
    QCOMPARE(outcome.result.version.major, published[0]);
    QCOMPARE(outcome.result.version.patch, published[2]);
}

void TestUpdateInfo::badAnswers_data()
{
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("errorPart");

    const QByteArray good = toJson(publishedObject());
    QTest::newRow("not found") << LocalUpdateServer::reply("missing", 404) << "HTTP status 404 (Not Found)";
    QTest::newRow("server error") << LocalUpdateServer::reply(good, 500) << "HTTP status 500";
    QTest::newRow("no content") << LocalUpdateServer::reply("", 204) << "HTTP status 204";
    QTest::newRow("malformed json") << LocalUpdateServer::reply("{\"programId\": \"TESTPROG\",")
                                    << "is not valid JSON";
    QTest::newRow("empty body") << LocalUpdateServer::reply("") << "is not valid JSON";
    QTest::newRow("html page") << LocalUpdateServer::reply("<html><body>Hello</body></html>")
                               << "is not valid JSON";
    QTest::newRow("array") << LocalUpdateServer::reply("[1, 2, 3]") << "is not a JSON object";
    QTest::newRow("another program") << LocalUpdateServer::reply(withField("programId", "OTHERPROG"))
                                     << "describes the program \"OTHERPROG\", not \"TESTPROG\"";
    QTest::newRow("no program id") << LocalUpdateServer::reply(withoutField("programId"))
                                   << "has no \"programId\"";
    QTest::newRow("program id a number")
        << LocalUpdateServer::reply(withField("programId", 7)) << "\"programId\" that is not a text";
    QTest::newRow("no version") << LocalUpdateServer::reply(withoutField("version")) << "has no \"version\"";
    QTest::newRow("version a text") << LocalUpdateServer::reply(withField("version", "1.2.4"))
                                    << "\"version\" that is not an object";
    QTest::newRow("no major") << LocalUpdateServer::reply(
        withVersion(QJsonObject {{"minor", 1}, {"patch", 0}}))
                              << "has no \"version.major\"";
    QTest::newRow("major a text") << LocalUpdateServer::reply(
        withVersion(QJsonObject {{"major", "1"}, {"minor", 1}, {"patch", 0}}))
                                  << "\"version.major\" that is not a whole number";
    QTest::newRow("negative minor") << LocalUpdateServer::reply(withVersion(versionObject(1, -1, 0)))
                                    << "\"version.minor\" that is not a whole number";
    QTest::newRow("fractional patch") << LocalUpdateServer::reply(withVersion(versionObject(1, 2, 4.5)))
                                      << "\"version.patch\" that is not a whole number";
    QTest::newRow("major past 32 bits")
        << LocalUpdateServer::reply(withVersion(versionObject(4294967296.0, 0, 0)))
        << "\"version.major\" that is not a whole number";
    QTest::newRow("revision a number") << LocalUpdateServer::reply(
        withVersion(QJsonObject {{"major", 1}, {"minor", 1}, {"patch", 0}, {"revision", 5}}))
                                       << "\"revision\" that is not a text";
    QTest::newRow("unknown release type")
        << LocalUpdateServer::reply(withField("releaseType", "gamma")) << "release type \"gamma\"";
    QTest::newRow("release type a number")
        << LocalUpdateServer::reply(withField("releaseType", 4)) << "\"releaseType\" that is not a text";
    QTest::newRow("no release type") << LocalUpdateServer::reply(withoutField("releaseType"))
                                     << "has no \"releaseType\"";
    QTest::newRow("no download address")
        << LocalUpdateServer::reply(withoutField("downloadUrl")) << "has no \"downloadUrl\"";
    QTest::newRow("download address a list")
        << LocalUpdateServer::reply(withField("downloadUrl", QJsonArray {"a"}))
        << "\"downloadUrl\" that is not a text";
    QTest::newRow("urgent a text") << LocalUpdateServer::reply(withField("urgent", "yes"))
                                   << "\"urgent\" that is not true or false";
    QTest::newRow("oversized with length")
        << LocalUpdateServer::reply(oversizedDocument()) << "larger than 65536 bytes";
    QTest::newRow("oversized without length")
        << Answer {Answer::NoLength, 200, oversizedDocument()} << "larger than 65536 bytes";
    QTest::newRow("closed mid-answer") << Answer {Answer::Truncated, 200, good} << "cannot get";
    QTest::newRow("redirect loop") << Answer {Answer::RedirectToSelf, 302, {}}
                                   << "redirects more than 5 times";
}

void TestUpdateInfo::badAnswers()
{
    QFETCH(Answer, answer);
    QFETCH(QString, errorPart);
    LocalUpdateServer server;
    server.setAnswers({answer});

    const Query outcome = query(server.address());

    QVERIFY(!outcome.ok);
    QVERIFY2(QString::fromStdString(outcome.error).contains(errorPart), outcome.error.c_str());
    QVERIFY2(QString::fromStdString(outcome.error).contains(server.address()), outcome.error.c_str());
    QVERIFY(!outcome.result.newVersionAvailable);
}

void TestUpdateInfo::failureKeepsResult()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(toJson(publishedObject(9, 0, 0))),
                       LocalUpdateServer::reply(withField("programId", "OTHERPROG"))});
    crv_net::UpdateInfo updateInfo;
    updateInfo.setHostName(server.address().toStdString());
    UpdateProgramInfo result;

    QVERIFY(updateInfo.getUpdateProgramInfo(installedProgram(), result, 10000));
    QVERIFY(updateInfo.getLastError().empty());
    QVERIFY(result.newVersionAvailable);
    QVERIFY(!updateInfo.getUpdateProgramInfo(installedProgram(), result, 10000));
    QVERIFY(!updateInfo.getLastError().empty());
    QVERIFY(!result.newVersionAvailable);
    QCOMPARE(result.version.major, 9u);
    QCOMPARE(result.programId, std::string("TESTPROG"));
}

void TestUpdateInfo::unreachableHost()
{
    const QString address = LocalUpdateServer::closedPortAddress();

    const Query outcome = query(address);

    QVERIFY(!outcome.ok);
    QVERIFY2(QString::fromStdString(outcome.error).startsWith("cannot get " + address),
             outcome.error.c_str());
    QVERIFY2(QString::fromStdString(outcome.error).contains("refused", Qt::CaseInsensitive),
             outcome.error.c_str());
}

void TestUpdateInfo::timeLimit()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::hold(toJson(publishedObject()))});

    const Query outcome = query(server.address(), 200);

    QVERIFY(!outcome.ok);
    QCOMPARE(QString::fromStdString(outcome.error),
             "no complete answer from " + server.address() + "/updates/TESTPROG.json within 200 ms");
}

void TestUpdateInfo::badHostSettings_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("programId");
    QTest::addColumn<QString>("error");

    QTest::newRow("empty") << ""
                           << "TESTPROG"
                           << "no update host is set";
    QTest::newRow("blank") << "   "
                           << "TESTPROG"
                           << "no update host is set";
    QTest::newRow("other scheme")
        << "ftp://127.0.0.1"
        << "TESTPROG"
        << "the update host \"ftp://127.0.0.1\" uses the scheme \"ftp\"; only https and http are supported";
    QTest::newRow("scheme without host") << "http://"
                                         << "TESTPROG"
                                         << "the update host \"http://\" is not a valid host name";
    QTest::newRow("user name") << "http://me@127.0.0.1:1"
                               << "TESTPROG"
                               << "the update host \"http://me@127.0.0.1:1\" is not a valid host name";
    QTest::newRow("query") << "http://127.0.0.1:1/?a=b"
                           << "TESTPROG"
                           << "the update host \"http://127.0.0.1:1/?a=b\" is not a valid host name";
    QTest::newRow("program id with a slash") << "http://127.0.0.1:1"
                                             << "../X"
                                             << "the program id \"../X\" cannot name an update document";
    QTest::newRow("empty program id") << "http://127.0.0.1:1"
                                      << ""
                                      << "the program id \"\" cannot name an update document";
}

void TestUpdateInfo::badHostSettings()
{
    QFETCH(QString, host);
    QFETCH(QString, programId);
    QFETCH(QString, error);
    crv::ProgramInfoA info = installedProgram();
    info.programId = programId.toStdString();

    const Query outcome = query(host, 10000, info);

    QVERIFY(!outcome.ok);
    QCOMPARE(QString::fromStdString(outcome.error), error);
}

void TestUpdateInfo::worksOnPoolThread()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(toJson(publishedObject(1, 2, 3, "beta")))});
    Query first;
    Query second;

    startPooledQuery(server.address(), 10000, first);
    startPooledQuery(server.address(), 10000, second);
    QThreadPool::globalInstance()->waitForDone();

    QVERIFY2(first.ok, first.error.c_str());
    QVERIFY2(second.ok, second.error.c_str());
    QVERIFY(!first.result.newVersionAvailable);
    QCOMPARE(server.requestCount(), 2);
}

void TestUpdateInfo::quitCancelsRunningQuery()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::hold(toJson(publishedObject())),
                       LocalUpdateServer::reply(toJson(publishedObject()))});
    Query outcome;
    startPooledQuery(server.address(), 60000, outcome);
    QTRY_COMPARE(server.requestCount(), 1);

    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit");
    QThreadPool::globalInstance()->waitForDone();

    QVERIFY(!outcome.ok);
    QCOMPARE(QString::fromStdString(outcome.error),
             "the query to " + server.address()
                 + "/updates/TESTPROG.json was cancelled because the program is quitting");
    // Only the queries running at that moment are cancelled.
    const Query later = query(server.address());
    QVERIFY2(later.ok, later.error.c_str());
}

// The application object waits for the thread pool when it is destroyed; a query running there must
// end at once. Run in a child process, since it ends that process's application.
void TestUpdateInfo::applicationEndCancelsRunningQuery()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::hold(toJson(publishedObject()))});
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {"--query-while-application-ends", server.address()});
    QVERIFY(child.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), 1, 30000);

    child.write("end\n");
    QVERIFY(child.waitForFinished(120000));

    QCOMPARE(child.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()).trimmed(),
             "the query to " + server.address()
                 + "/updates/TESTPROG.json was cancelled because the program is quitting");
}

namespace {

// Child mode: starts a query with a long time limit, destroys the application once the parent says
// so, and prints what the query reported.
int queryWhileApplicationEnds(int argc, char *argv[])
{
    Query outcome;
    {
        QCoreApplication application(argc, argv);
        startPooledQuery(QString::fromLocal8Bit(argv[2]), 60000, outcome);
        char line[16];
        if (!std::fgets(line, sizeof line, stdin))
            return 2;
    }
    std::cout << outcome.error << std::endl;
    return outcome.ok ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::strcmp(argv[1], "--query-while-application-ends") == 0)
        return queryWhileApplicationEnds(argc, argv);
    QCoreApplication application(argc, argv);
    TestUpdateInfo test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_updateinfo.moc"
