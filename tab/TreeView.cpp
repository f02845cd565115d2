#include "tab/TreeView.h"

#include <QKeyEvent>

TreeView::TreeView(QWidget *parent)
    : QTreeView(parent)
{
}

TreeView::~TreeView() = default;

void TreeView::keyPressEvent(QKeyEvent *event)
{
    if (event->modifiers() == Qt::ControlModifier) {
        if (event->key() == Qt::Key_C) {
            emit requestCopyToClipboard();
            // Left unaccepted so that the enclosing widgets see the copy key as well.
            event->ignore();
        }
        // Every other Control key is swallowed here, before the standard handling.
        return;
    }
    QTreeView::keyPressEvent(event);
}
