#include "dialogs/WinAbout.h"

#include "dialogs/ProgramInfo.h"

#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace {

// Runs action once the dialog's modal loop has started, then makes sure the loop ends even if the
// action did not close the dialog. Returns showAbout's result; closedByAction tells who ended it.
int runAbout(WinAbout &dialog, const std::function<void()> &action, bool *closedByAction = nullptr)
{
    QTimer::singleShot(0, &dialog, [&] {
        action();
        const bool closed = !dialog.isVisible();
        if (closedByAction)
            *closedByAction = closed;
        if (!closed)
            dialog.done(-1);
    });
    return dialog.showAbout();
}

QString shownText(const WinAbout &dialog)
{
    const auto *edit = dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtEdit"));
    return edit ? edit->toPlainText() : QStringLiteral("<no txtEdit>");
}

QPushButton *okButton(const WinAbout &dialog)
{
    return dialog.findChild<QPushButton *>(QStringLiteral("btnOk"));
}

void clickOk(const WinAbout &dialog)
{
    if (QPushButton *ok = okButton(dialog))
        QTest::mouseClick(ok, Qt::LeftButton);
}

} // namespace

class TestWinAbout : public QObject
{
    Q_OBJECT

private slots:
    void form();
    void text();
    void closing_data();
    void closing();
    void freshTextEachOpening();
};

void TestWinAbout::form()
{
    WinAbout dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("WinAbout"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Dialog"));
    QCOMPARE(dialog.windowModality(), Qt::WindowModal);
    QVERIFY(dialog.isModal());
    QCOMPARE(dialog.size(), QSize(300, 160));
    QCOMPARE(dialog.minimumSize(), QSize(300, 160));
    QCOMPARE(dialog.maximumSize(), QSize(300, 160));

    const auto *edit = dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtEdit"));
    QVERIFY(edit);
    QVERIFY(edit->isReadOnly());
    QCOMPARE(edit->frameShape(), QFrame::Box);
    QCOMPARE(edit->frameShadow(), QFrame::Plain);
    const QPushButton *ok = okButton(dialog);
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("Ok"));

    // A name given before the form is built is kept.
    WinAbout named;
    named.setObjectName(QStringLiteral("aboutBox"));
    QCOMPARE(named.objectName(), QStringLiteral("aboutBox"));
}

void TestWinAbout::text()
{
    WinAbout dialog;
    QString seen;
    bool closedByOk = false;
    const int result = runAbout(
        dialog,
        [&] {
            seen = shownText(dialog);
            clickOk(dialog);
        },
        &closedByOk);

    QVERIFY(closedByOk);
    QCOMPARE(result, int(QDialog::Rejected));

    // Five lines, each ending in a line feed, so the box holds an empty sixth line.
    QVERIFY2(seen.endsWith(QLatin1Char('\n')), qPrintable(seen));
    const QStringList lines = seen.split(QLatin1Char('\n'));
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.at(0), QStringLiteral("Corvane Refscope"));
    QCOMPARE(
        lines.at(1),
        QStringLiteral("Version: 0.9.0 b [%1]").arg(QString::fromStdString(gProgramInfo.version.revision)));
    QVERIFY2(QRegularExpression(QStringLiteral("^Version: 0\\.9\\.0 b \\[[0-9a-f]{12}\\]$"))
                 .match(lines.at(1))
                 .hasMatch(),
             qPrintable(lines.at(1)));
    QCOMPARE(lines.at(2), QStringLiteral("Date: ") + QString::fromStdString(gProgramInfo.buildDate));
    QCOMPARE(lines.at(3), QString::fromStdString(gProgramInfo.copyright));
    QCOMPARE(lines.at(4), QString::fromStdString(gProgramInfo.webSite));
    QCOMPARE(lines.at(5), QString());
}

void TestWinAbout::closing_data()
{
    QTest::addColumn<bool>("release");
    QTest::addColumn<bool>("dragOff");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("clicks");

    QTest::newRow("click on Ok") << true << false << true << 1;
    // Dragging off the pressed button releases it without a click: the dialog still closes.
    QTest::newRow("press on Ok and drag off") << false << true << true << 0;
    QTest::newRow("press on Ok and hold") << false << false << false << 0;
}

void TestWinAbout::closing()
{
    QFETCH(bool, release);
    QFETCH(bool, dragOff);
    QFETCH(bool, closes);
    QFETCH(int, clicks);

    WinAbout dialog;
    QPushButton *ok = okButton(dialog);
    QVERIFY(ok);
    QSignalSpy clickSpy(ok, &QPushButton::clicked);
    QSignalSpy releaseSpy(ok, &QPushButton::released);

    bool closedByMouse = false;
    runAbout(
        dialog,
        [&] {
            QTest::mousePress(ok, Qt::LeftButton);
            if (dragOff) {
                QMouseEvent move(QEvent::MouseMove, QPointF(-20, -20), Qt::NoButton, Qt::LeftButton,
                                 Qt::NoModifier);
                QApplication::sendEvent(ok, &move);
            }
            if (release)
                QTest::mouseRelease(ok, Qt::LeftButton);
        },
        &closedByMouse);

    QCOMPARE(closedByMouse, closes);
    QCOMPARE(clickSpy.count(), clicks);
    QCOMPARE(releaseSpy.count(), closes ? 1 : 0);
}

void TestWinAbout::freshTextEachOpening()
{
    WinAbout dialog;
    QString first;
    runAbout(dialog, [&] {
        first = shownText(dialog);
        if (auto *edit = dialog.findChild<QPlainTextEdit *>(QStringLiteral("txtEdit")))
            edit->setPlainText(QStringLiteral("stale"));
        clickOk(dialog);
    });
    QCOMPARE(shownText(dialog), QStringLiteral("stale"));

    QString second;
    runAbout(dialog, [&] {
        second = shownText(dialog);
        clickOk(dialog);
    });
    QVERIFY(first.startsWith(QStringLiteral("Corvane Refscope\n")));
    QCOMPARE(second, first);

    WinAbout another;
    QString third;
    runAbout(another, [&] {
        third = shownText(another);
        clickOk(another);
    });
    QCOMPARE(third, first);
}

QTEST_MAIN(TestWinAbout)
#include "tst_winabout.moc"
