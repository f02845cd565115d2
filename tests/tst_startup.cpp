#include "BuildConfig.h"
#include "app/Application.h"
#include "app/WinMain.h"
#include "dialogs/WinCheckUpdate.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// Runs start-up and shutdown in the order the program's entry point does.
class TstStartup : public QObject
{
    Q_OBJECT

private slots:
    void runEndsWithZeroAndSavesAfterTheWindow();
};

void TstStartup::runEndsWithZeroAndSavesAfterTheWindow()
{
    QTemporaryDir startDir, laterDir;
    QVERIFY(startDir.isValid() && laterDir.isValid());
    const QString expected = QDir(startDir.path()).absoluteFilePath(QStringLiteral("settings.ini"));
    QVERIFY(QDir::setCurrent(startDir.path()));

    char name[] = "refscope";
    char *argv[] = {name, nullptr};
    int argc = 1;
    int result = -1;
    bool fileExistedWhileRunning = true;
    {
        Application app(argc, argv);
        QCOMPARE(app.settings.fileName(), expected);
        QCOMPARE(QGuiApplication::desktopFileName(), QStringLiteral(REFSCOPE_APP_ID));
        // The store was placed at start-up; moving elsewhere later must not move it.
        QVERIFY(QDir::setCurrent(laterDir.path()));
        {
            WinCheckUpdate::setUpdateHost("http://127.0.0.1:1");
            WinMain window(nullptr);
            window.show();
            QTimer::singleShot(0, &window, [&window, &fileExistedWhileRunning, &expected] {
                fileExistedWhileRunning = QFile::exists(expected);
                window.close();
            });
            result = app.exec();
            QVERIFY(!QFile::exists(expected)); // nothing is saved while the window exists
        }
        // Written as the window goes (before its tabs are torn down), not only when the application ends.
        QVERIFY(QFile::exists(expected));
    }
    QCOMPARE(result, 0);
    QVERIFY(!fileExistedWhileRunning);
    QVERIFY(!QFile::exists(QDir(laterDir.path()).filePath(QStringLiteral("settings.ini"))));
    QFile file(expected);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    QVERIFY(content.contains("[class%20WinMain]"));
    QVERIFY(content.contains("currtab=-1"));
}

QTEST_APPLESS_MAIN(TstStartup)

#include "tst_startup.moc"
