#include "tab/TreeView.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMainWindow>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QtTest>

namespace {

// Stands in for the tab around the view: records the keys that the view lets through.
class KeyRecorder : public QWidget
{
public:
    QList<int> seen;

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        seen.append(event->key() | int(event->modifiers()));
        event->accept();
    }
};

} // namespace

class TestTreeView : public QObject
{
    Q_OBJECT

private slots:
    void keys_data();
    void keys();
    void windowShortcutStillFires();
};

void TestTreeView::keys_data()
{
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("copyRequests");
    QTest::addColumn<bool>("parentSeesKey");
    QTest::addColumn<int>("currentRow");
    QTest::addColumn<int>("selectedRows");

    const int ctrl = Qt::ControlModifier;
    const int shift = Qt::ShiftModifier;
    const int none = Qt::NoModifier;

    // The view starts on row 2 of six, with only that row selected.
    QTest::newRow("Ctrl+C asks for a copy and passes on") << ctrl << int(Qt::Key_C) << 1 << true << 2 << 1;
    QTest::newRow("Ctrl+Shift+C is no copy") << (ctrl | shift) << int(Qt::Key_C) << 0 << true << 2 << 1;
    QTest::newRow("Ctrl+Alt+C is no copy")
        << (ctrl | int(Qt::AltModifier)) << int(Qt::Key_C) << 0 << true << 2 << 1;
    QTest::newRow("plain C is no copy") << none << int(Qt::Key_C) << 0 << false << 2 << 1;
    QTest::newRow("Ctrl+A selects nothing") << ctrl << int(Qt::Key_A) << 0 << false << 2 << 1;
    QTest::newRow("Ctrl+Home stays") << ctrl << int(Qt::Key_Home) << 0 << false << 2 << 1;
    QTest::newRow("Ctrl+End stays") << ctrl << int(Qt::Key_End) << 0 << false << 2 << 1;
    QTest::newRow("Ctrl+Down stays") << ctrl << int(Qt::Key_Down) << 0 << false << 2 << 1;
    QTest::newRow("Ctrl+Insert stays") << ctrl << int(Qt::Key_Insert) << 0 << false << 2 << 1;
    QTest::newRow("Down moves") << none << int(Qt::Key_Down) << 0 << false << 3 << 1;
    QTest::newRow("Home moves") << none << int(Qt::Key_Home) << 0 << false << 0 << 1;
    QTest::newRow("Shift+Up extends") << shift << int(Qt::Key_Up) << 0 << false << 1 << 2;
    QTest::newRow("Ctrl+Shift+End moves") << (ctrl | shift) << int(Qt::Key_End) << 0 << false << 5 << 1;
    QTest::newRow("Ctrl with keypad End moves")
        << (ctrl | int(Qt::KeypadModifier)) << int(Qt::Key_End) << 0 << false << 5 << 1;
}

void TestTreeView::keys()
{
    QFETCH(int, modifiers);
    QFETCH(int, key);
    QFETCH(int, copyRequests);
    QFETCH(bool, parentSeesKey);
    QFETCH(int, currentRow);
    QFETCH(int, selectedRows);

    QStandardItemModel model;
    for (int row = 0; row < 6; ++row)
        model.appendRow(new QStandardItem(QStringLiteral("sim/row%1").arg(row)));

    KeyRecorder parent;
    auto *view = new TreeView(&parent);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setModel(&model);
    view->selectionModel()->setCurrentIndex(model.index(2, 0), QItemSelectionModel::ClearAndSelect);

    // The view's own copy would replace the clipboard text with the current row.
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("kept"));
    QCOMPARE(clipboard->text(), QStringLiteral("kept"));

    QSignalSpy copySpy(view, &TreeView::requestCopyToClipboard);
    QTest::keyClick(view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    QCOMPARE(copySpy.count(), copyRequests);
    QCOMPARE(parent.seen.contains(key | modifiers), parentSeesKey);
    QCOMPARE(view->currentIndex().row(), currentRow);
    QCOMPARE(view->selectionModel()->selectedRows().count(), selectedRows);
    QCOMPARE(clipboard->text(), QStringLiteral("kept"));
}

void TestTreeView::windowShortcutStillFires()
{
    QStandardItemModel model;
    model.appendRow(new QStandardItem(QStringLiteral("sim/one")));

    QMainWindow window;
    auto *view = new TreeView(&window);
    view->setModel(&model);
    window.setCentralWidget(view);
    auto *open = new QAction(QStringLiteral("Open"), &window);
    open->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_O));
    window.addAction(open);

    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    view->setFocus();
    QVERIFY(view->hasFocus());

    QSignalSpy openSpy(open, &QAction::triggered);
    QSignalSpy copySpy(view, &TreeView::requestCopyToClipboard);
    QTest::keyClick(view, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(openSpy.count(), 1);

    // The copy key still reaches the view in the same window.
    QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(copySpy.count(), 1);
    QCOMPARE(openSpy.count(), 1);
}

QTEST_MAIN(TestTreeView)
#include "tst_treeview.moc"
