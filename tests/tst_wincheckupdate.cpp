#include "dialogs/WinCheckUpdate.h"

#include "LocalUpdateServer.h"
#include "dialogs/ProgramInfo.h"

#include <QDesktopServices>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMutex>
#include <QMutexLocker>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>
#include <QThreadPool>
#include <QUrl>

#include <memory>

using Answer = LocalUpdateServer::Answer;

Q_DECLARE_METATYPE(LocalUpdateServer::Answer)

namespace {

const QString failedText = QStringLiteral("Service is temporary unavailable. Please try again later.");
const QString newVersionText = QStringLiteral("New version is available! 1.0.0 rc [0123456789ab]");

QString installedVersion()
{
    return QStringLiteral("0.9.0 b [") + QString::fromStdString(gProgramInfo.version.revision)
        + QLatin1Char(']');
}

QString idleText()
{
    return QStringLiteral("Your version is ") + installedVersion();
}

QString upToDateText()
{
    return QStringLiteral("Your version is up to date. ") + installedVersion();
}

QByteArray document(double major, double minor, const QString &releaseType,
                    const QString &downloadUrl
                    = QStringLiteral("https://downloads.example.invalid/refscope.zip"),
                    const QString &programId = QStringLiteral("CORVREFSCOPE"))
{
    const QJsonObject version {
        {"major", major}, {"minor", minor}, {"patch", 0}, {"revision", "0123456789ab"}};
    return QJsonDocument(QJsonObject {{"programId", programId},
                                      {"version", version},
                                      {"releaseType", releaseType},
                                      {"downloadUrl", downloadUrl}})
        .toJson();
}

QByteArray newerDocument()
{
    return document(1, 0, "rc");
}

QByteArray sameVersionDocument()
{
    return document(0, 9, "beta");
}

struct LogLine
{
    QString text;
    QString file;
};

QMutex logMutex;
QList<LogLine> criticalLines;
QtMessageHandler previousHandler = nullptr;

void catchCriticals(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type == QtCriticalMsg) {
        QMutexLocker locker(&logMutex);
        criticalLines.append(LogLine {message, QString::fromUtf8(context.file)});
        return;
    }
    previousHandler(type, context, message);
}

QList<LogLine> loggedCriticals()
{
    QMutexLocker locker(&logMutex);
    return criticalLines;
}

QLabel *label(WinCheckUpdate &dialog)
{
    return dialog.findChild<QLabel *>(QStringLiteral("labelInfo"));
}

QPushButton *button(WinCheckUpdate &dialog)
{
    return dialog.findChild<QPushButton *>(QStringLiteral("pushCheckOrDownload"));
}

// Whether the label's text fits in it, wrapped as the label wraps it, and the label in the dialog.
bool showsWhole(WinCheckUpdate &dialog)
{
    QLabel *info = label(dialog);
    const QRect room = info->contentsRect();
    const QRect needed = info->fontMetrics().boundingRect(room, Qt::TextWordWrap, info->text());
    return needed.width() <= room.width() && needed.height() <= room.height()
        && dialog.rect().contains(info->geometry());
}

void click(WinCheckUpdate &dialog)
{
    QTest::mouseClick(button(dialog), Qt::LeftButton);
}

// Lets every started check finish and deliver its report.
void finishChecks()
{
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
}

} // namespace

// Stands in for the desktop's browser.
class UrlCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

private slots:
    void openUrl(const QUrl &url) { urls.append(url); }
};

class TestWinCheckUpdate : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void form();
    void silentCheckFindsNewVersion_data();
    void silentCheckFindsNewVersion();
    void upToDate();
    void failures_data();
    void failures();
    void menuShowsIdleTexts_data();
    void menuShowsIdleTexts();
    void buttonDuringCheckStartsNothing();
    void secondLaunchIgnoresEarlierReport();
    void earlierReportDuringSecondCheck();
    void menuLaunchIgnoresRunningCheck();
    void dialogDestroyedDuringCheck();
    void quitDuringCheck();

private:
    UrlCatcher urlCatcher;
};

void TestWinCheckUpdate::initTestCase()
{
    previousHandler = qInstallMessageHandler(catchCriticals);
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &urlCatcher, "openUrl");
    QDesktopServices::setUrlHandler(QStringLiteral("http"), &urlCatcher, "openUrl");
}

void TestWinCheckUpdate::cleanupTestCase()
{
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
    qInstallMessageHandler(previousHandler);
}

void TestWinCheckUpdate::init()
{
    // No check may ever reach the build's real update host.
    WinCheckUpdate::setUpdateHost(LocalUpdateServer::closedPortAddress().toStdString());
    QMutexLocker locker(&logMutex);
    criticalLines.clear();
    urlCatcher.urls.clear();
}

void TestWinCheckUpdate::cleanup()
{
    finishChecks();
}

void TestWinCheckUpdate::form()
{
    WinCheckUpdate dialog;

    QCOMPARE(dialog.objectName(), QStringLiteral("WinCheckUpdate"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Refscope Check Update"));
    QVERIFY(dialog.isModal());
    // The form's sizes are the least: the dialog and its label grow to show the whole message.
    QVERIFY(dialog.width() >= 435 && dialog.height() >= 50);
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(label(dialog));
    QVERIFY(button(dialog));
    QVERIFY(label(dialog)->width() >= 300 && label(dialog)->height() >= 30);
    QCOMPARE(button(dialog)->size(), QSize(110, 25));
    QCOMPARE(label(dialog)->text(), idleText());
    QVERIFY(showsWhole(dialog));
    QCOMPARE(button(dialog)->text(), QStringLiteral("Check Update"));
    QVERIFY(!dialog.isVisible());
}

void TestWinCheckUpdate::silentCheckFindsNewVersion_data()
{
    QTest::addColumn<QString>("downloadUrl");
    QTest::addColumn<QList<QUrl>>("opened");

    QTest::newRow("plain address") << "https://downloads.example.invalid/refscope.zip"
                                   << QList<QUrl> {QUrl("https://downloads.example.invalid/refscope.zip")};
    QTest::newRow("blanks and a line break around")
        << "  https://downloads.example.invalid/refscope.zip \r\n"
        << QList<QUrl> {QUrl("https://downloads.example.invalid/refscope.zip")};
    QTest::newRow("empty address") << "" << QList<QUrl> {};
    QTest::newRow("only blanks") << " \t " << QList<QUrl> {};
}

void TestWinCheckUpdate::silentCheckFindsNewVersion()
{
    QFETCH(QString, downloadUrl);
    QFETCH(QList<QUrl>, opened);
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(document(1, 0, "rc", downloadUrl))});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    QWidget window;
    window.setGeometry(120, 80, 500, 400);
    window.show();
    WinCheckUpdate dialog(&window);

    dialog.launch(true);
    QVERIFY(!dialog.isVisible());
    QTRY_VERIFY(dialog.isVisible());

    QCOMPARE(label(dialog)->text(), newVersionText);
    QVERIFY(showsWhole(dialog));
    QVERIFY((dialog.frameGeometry().center() - window.frameGeometry().center()).manhattanLength() <= 1);
    QCOMPARE(button(dialog)->text(), QStringLiteral("Download"));
    QCOMPARE(server.requestPaths(), QStringList {"/updates/CORVREFSCOPE.json"});
    click(dialog);
    QCOMPARE(urlCatcher.urls, opened);
    QVERIFY(!dialog.isVisible());
    QVERIFY(loggedCriticals().isEmpty());
}

void TestWinCheckUpdate::upToDate()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(sameVersionDocument())});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog;

    dialog.launch(true);
    QTRY_COMPARE(label(dialog)->text(), upToDateText());
    QVERIFY(!dialog.isVisible());
    QCOMPARE(button(dialog)->text(), QStringLiteral("Check Update"));

    dialog.launch(false);
    QVERIFY(dialog.isVisible());
    QCOMPARE(label(dialog)->text(), idleText());
    click(dialog);
    QTRY_COMPARE(label(dialog)->text(), upToDateText());
    QCOMPARE(server.requestCount(), 2);
    QVERIFY(dialog.isVisible());

    // The same button checks again.
    click(dialog);
    QTRY_COMPARE(server.requestCount(), 3);
    finishChecks();
    QCOMPARE(label(dialog)->text(), upToDateText());
    QVERIFY(urlCatcher.urls.isEmpty());
    QVERIFY(loggedCriticals().isEmpty());
}

void TestWinCheckUpdate::failures_data()
{
    QTest::addColumn<bool>("unreachable");
    QTest::addColumn<Answer>("answer");
    QTest::addColumn<QString>("errorPart");

    QTest::newRow("unreachable") << true << Answer {} << "Connection refused";
    QTest::newRow("server error") << false << LocalUpdateServer::reply(newerDocument(), 500)
                                  << "HTTP status 500";
    QTest::newRow("malformed json") << false << LocalUpdateServer::reply("{\"programId\": ")
                                    << "is not valid JSON";
    QTest::newRow("oversized answer")
        << false << Answer {Answer::NoLength, 200, QByteArray(100 * 1024, ' ') + newerDocument()}
        << "larger than 65536 bytes";
    QTest::newRow("another program") << false
                                     << LocalUpdateServer::reply(
                                            document(1, 0, "final", "https://x.invalid/", "OTHERPROG"))
                                     << "describes the program \"OTHERPROG\"";
    QTest::newRow("redirect loop") << false << Answer {Answer::RedirectToSelf, 302, {}}
                                   << "redirects more than 5 times";
    QTest::newRow("closed mid-answer")
        << false << Answer {Answer::Truncated, 200, newerDocument()} << "cannot get";
    QTest::newRow("no answer within the limit")
        << false << LocalUpdateServer::hold(newerDocument()) << "within 5000 ms";
}

void TestWinCheckUpdate::failures()
{
    QFETCH(bool, unreachable);
    QFETCH(Answer, answer);
    QFETCH(QString, errorPart);
    LocalUpdateServer server;
    server.setAnswers({answer});
    WinCheckUpdate::setUpdateHost(
        (unreachable ? LocalUpdateServer::closedPortAddress() : server.address()).toStdString());
    WinCheckUpdate dialog;

    dialog.launch(true);
    QTRY_COMPARE_WITH_TIMEOUT(label(dialog)->text(), failedText, 30000);
    finishChecks();
    QVERIFY(showsWhole(dialog));

    QVERIFY(!dialog.isVisible());
    QCOMPARE(button(dialog)->text(), QStringLiteral("Check Update"));
    const QList<LogLine> lines = loggedCriticals();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].text.startsWith("[CheckUpdate] ERROR: "), qPrintable(lines[0].text));
    QVERIFY2(lines[0].text.contains(errorPart), qPrintable(lines[0].text));
    QVERIFY2(lines[0].file.endsWith("WinCheckUpdate.cpp"), qPrintable(lines[0].file));

    // Opened from the menu afterwards, the dialog starts afresh.
    dialog.launch(false);
    QVERIFY(dialog.isVisible());
    QCOMPARE(label(dialog)->text(), idleText());
    QCOMPARE(button(dialog)->text(), QStringLiteral("Check Update"));
}

void TestWinCheckUpdate::menuShowsIdleTexts_data()
{
    QTest::addColumn<QByteArray>("answer");

    QTest::newRow("after a new version") << newerDocument();
    QTest::newRow("after up to date") << sameVersionDocument();
}

void TestWinCheckUpdate::menuShowsIdleTexts()
{
    QFETCH(QByteArray, answer);
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::reply(answer)});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog;
    dialog.launch(true);
    QTRY_VERIFY(label(dialog)->text() != idleText());

    dialog.launch(false);

    QVERIFY(dialog.isVisible());
    QCOMPARE(label(dialog)->text(), idleText());
    QCOMPARE(button(dialog)->text(), QStringLiteral("Check Update"));
    // The button checks; it does not download.
    click(dialog);
    QTRY_COMPARE(server.requestCount(), 2);
    QVERIFY(urlCatcher.urls.isEmpty());
}

void TestWinCheckUpdate::buttonDuringCheckStartsNothing()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::hold(sameVersionDocument())});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog;
    dialog.launch(false);

    click(dialog);
    QTRY_COMPARE(server.requestCount(), 1);
    click(dialog);
    click(dialog);
    QCOMPARE(label(dialog)->text(), idleText());
    server.releaseHeld();
    QTRY_COMPARE(label(dialog)->text(), upToDateText());
    finishChecks();

    QCOMPARE(server.requestCount(), 1);
    QVERIFY(loggedCriticals().isEmpty());
}

void TestWinCheckUpdate::secondLaunchIgnoresEarlierReport()
{
    LocalUpdateServer server;
    server.setAnswers(
        {LocalUpdateServer::hold(newerDocument()), LocalUpdateServer::reply(sameVersionDocument())});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog;
    dialog.launch(true);
    QTRY_COMPARE(server.requestCount(), 1);

    dialog.launch(true);
    QTRY_COMPARE(label(dialog)->text(), upToDateText());
    server.releaseHeld();
    finishChecks();

    // The first check found a new version, but its report came too late to count.
    QCOMPARE(server.requestCount(), 2);
    QCOMPARE(label(dialog)->text(), upToDateText());
    QCOMPARE(button(dialog)->text(), QStringLiteral("Check Update"));
    QVERIFY(!dialog.isVisible());
}

void TestWinCheckUpdate::earlierReportDuringSecondCheck()
{
    LocalUpdateServer server;
    server.setAnswers(
        {LocalUpdateServer::hold(newerDocument()), LocalUpdateServer::hold(sameVersionDocument())});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog;
    dialog.launch(true);
    QTRY_COMPARE(server.requestCount(), 1);
    dialog.launch(true);
    QTRY_COMPARE(server.requestCount(), 2);

    server.releaseHeld(0);
    QTRY_COMPARE(QThreadPool::globalInstance()->activeThreadCount(), 1);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();

    // The first check's report is not the running check's.
    QCOMPARE(label(dialog)->text(), idleText());
    QVERIFY(!dialog.isVisible());
    server.releaseHeld(1);
    QTRY_COMPARE(label(dialog)->text(), upToDateText());
    finishChecks();
    QCOMPARE(label(dialog)->text(), upToDateText());
    QVERIFY(!dialog.isVisible());
    QVERIFY(loggedCriticals().isEmpty());
}

void TestWinCheckUpdate::menuLaunchIgnoresRunningCheck()
{
    LocalUpdateServer server;
    server.setAnswers(
        {LocalUpdateServer::hold(newerDocument()), LocalUpdateServer::reply(sameVersionDocument())});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog;
    dialog.launch(true);
    QTRY_COMPARE(server.requestCount(), 1);

    dialog.launch(false);
    server.releaseHeld();
    finishChecks();

    QCOMPARE(label(dialog)->text(), idleText());
    QCOMPARE(button(dialog)->text(), QStringLiteral("Check Update"));
    // The dialog is idle, so the button starts a check of its own.
    click(dialog);
    QTRY_COMPARE(label(dialog)->text(), upToDateText());
    QCOMPARE(server.requestCount(), 2);
    QVERIFY(urlCatcher.urls.isEmpty());
}

void TestWinCheckUpdate::dialogDestroyedDuringCheck()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::hold(newerDocument())});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    auto dialog = std::make_unique<WinCheckUpdate>();
    dialog->launch(true);
    QTRY_COMPARE(server.requestCount(), 1);

    dialog.reset();
    server.releaseHeld();
    finishChecks();

    // The finished task wrote into its own storage and its report went nowhere.
    QVERIFY(loggedCriticals().isEmpty());
    QCOMPARE(server.requestCount(), 1);
}

void TestWinCheckUpdate::quitDuringCheck()
{
    LocalUpdateServer server;
    server.setAnswers({LocalUpdateServer::hold(newerDocument())});
    WinCheckUpdate::setUpdateHost(server.address().toStdString());
    WinCheckUpdate dialog;
    dialog.launch(true);
    QTRY_COMPARE(server.requestCount(), 1);

    QMetaObject::invokeMethod(QCoreApplication::instance(), "aboutToQuit");
    QTRY_COMPARE(label(dialog)->text(), failedText);

    const QList<LogLine> lines = loggedCriticals();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines[0].text.contains("cancelled because the program is quitting"), qPrintable(lines[0].text));
}

QTEST_MAIN(TestWinCheckUpdate)

#include "tst_wincheckupdate.moc"
