#pragma once

#include <QTreeView>

// The tab's reference view: Ctrl+C asks the tab to copy the selected reference, and the view's own
// Control shortcuts (select all, jump to the ends, ...) are switched off.
class TreeView : public QTreeView
{
    Q_OBJECT

public:
    explicit TreeView(QWidget *parent = nullptr);
    ~TreeView() override;

signals:
    void requestCopyToClipboard();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
