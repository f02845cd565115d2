#pragma once

#include "tab/TreeView.h"
#include "tab/WinTab.h"

#include <QAbstractItemModel>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTest>

#include <functional>
#include <memory>

// Drives one document tab the way a user does: through the object names of its controls, mouse
// clicks on the view and keys.
class TabDriver
{
public:
    // A small datarefs list. Sorted, its first top-level branch "sim" holds cockpit (row 0) with
    // autopilot and radios, flightmodel (row 1) with position, and time (row 2); "zzz" is the second
    // top-level branch.
    static QByteArray sampleList()
    {
        return "2 header line of the datarefs list\n"
               "sim/time/total\tfloat\tn\tseconds\tTotal Sim time\n"
               "sim/cockpit/radios/com1\tint\ty\t10hz\tCom one float\n"
               "zzz/other/leaf\tint\ty\tnone\tOther\n"
               "sim/flightmodel/position/local_x\tfloat\ty\tmeters\tLocal x float value\n"
               "sim/cockpit/autopilot/mode\tint\ty\tenum\tAutopilot mode\n"
               "sim/time/floaty\tint\tn\tnone\tRate\n"
               "sim/flightmodel/position/elevation\tdouble\tn\tmeters\tElevation\n";
    }

    static bool writeFile(const QString &path, const QByteArray &content)
    {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    }

    TabDriver()
        : tab(std::make_unique<WinTab>(nullptr))
    {
        tab->resize(900, 600);
        tab->show();
    }

    template<class T = QWidget> T *child(const char *name) const
    {
        T *widget = tab->findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }

    TreeView *view() const { return child<TreeView>("treeRefers"); }
    QAbstractItemModel *model() const { return view()->model(); }
    QLineEdit *currRef() const { return child<QLineEdit>("txtCurrRef"); }
    QLineEdit *searchField() const { return child<QLineEdit>("txtSearch"); }
    QLabel *findLabel() const { return child<QLabel>("label"); }

    void press(const char *button) { QTest::mouseClick(child<QPushButton>(button), Qt::LeftButton); }

    bool isTree() const { return view()->rootIsDecorated(); }

    // The index that shows the given path: in a tree the node reached segment by segment, in a list
    // the row whose path it is.
    QModelIndex find(const QString &path) const
    {
        const QAbstractItemModel *m = model();
        if (!m)
            return {};
        if (!isTree()) {
            for (int row = 0; row < m->rowCount(); ++row) {
                const QModelIndex index = m->index(row, 0);
                if (index.data().toString().section(QLatin1String(" - "), 1) == path)
                    return index;
            }
            return {};
        }
        QModelIndex node;
        for (const QString &segment : path.split(QLatin1Char('/'))) {
            QModelIndex next;
            for (int row = 0; row < m->rowCount(node) && !next.isValid(); ++row) {
                if (m->index(row, 0, node).data().toString() == segment)
                    next = m->index(row, 0, node);
            }
            if (!next.isValid())
                return {};
            node = next;
        }
        return node;
    }

    // Makes every ancestor visible, as a user opens branches to reach a node, then clicks it.
    void click(const QString &path)
    {
        const QModelIndex index = find(path);
        QVERIFY2(index.isValid(), qPrintable(path));
        for (QModelIndex up = index.parent(); up.isValid(); up = up.parent())
            view()->expand(up);
        view()->scrollTo(index);
        QTest::mouseClick(view()->viewport(), Qt::LeftButton, {}, view()->visualRect(index).center());
    }

    // Opens a branch with the keyboard: click it, then the right arrow key.
    void expand(const QString &path)
    {
        click(path);
        QTest::keyClick(view(), Qt::Key_Right);
    }

    bool isExpanded(const QString &path) const { return view()->isExpanded(find(path)); }

    // Makes the tab as low as it goes, so that the view shows only a few rows, and drags the view's
    // scroll bar to its end.
    void scrollToEnd()
    {
        tab->resize(tab->width(), tab->minimumSizeHint().height());
        QScrollBar *bar = view()->verticalScrollBar();
        bar->setValue(bar->maximum());
        QVERIFY2(bar->value() > 0, "the view is not scrolled");
    }

    // Whether the row at the top of the view is the model's first.
    bool showsFirstRow() const { return view()->indexAt(QPoint(1, 1)) == model()->index(0, 0); }

    // Paths of the expanded branches, in the order of a walk through the whole model.
    QStringList expandedBranches() const
    {
        QStringList paths;
        walk({}, QString(), [&](const QModelIndex &index, const QString &path) {
            if (model()->hasChildren(index) && view()->isExpanded(index))
                paths << path;
        });
        return paths;
    }

    // What the view shows in its first column: in a tree the full path of every leaf, in a list the
    // text of every row.
    QStringList shown() const
    {
        QStringList lines;
        walk({}, QString(), [&](const QModelIndex &index, const QString &path) {
            if (!model()->hasChildren(index))
                lines << (isTree() ? path : index.data().toString());
        });
        return lines;
    }

    bool everyBranchExpanded() const
    {
        bool all = true;
        walk({}, QString(), [&](const QModelIndex &index, const QString &) {
            if (model()->hasChildren(index) && !view()->isExpanded(index))
                all = false;
        });
        return all;
    }

    void search(const QString &text)
    {
        searchField()->clear();
        QTest::keyClicks(searchField(), text);
        QTest::keyClick(searchField(), Qt::Key_Return);
    }

    std::unique_ptr<WinTab> tab;

private:
    void walk(const QModelIndex &parent, const QString &parentPath,
              const std::function<void(const QModelIndex &, const QString &)> &visit) const
    {
        const QAbstractItemModel *m = model();
        if (!m)
            return;
        for (int row = 0; row < m->rowCount(parent); ++row) {
            const QModelIndex index = m->index(row, 0, parent);
            const QString name = index.data().toString();
            const QString path = parentPath.isEmpty() ? name : parentPath + QLatin1Char('/') + name;
            visit(index, path);
            if (isTree())
                walk(index, path, visit);
        }
    }
};
