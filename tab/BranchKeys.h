#pragma once

#include <QStringList>

class QTreeView;

// Branch keys name the nodes under the view's first top-level row by their row and column path,
// written as digits with no separator ("00", "0030", "0030120"). They are what settings.ini stores
// for a tab's expanded branches, so the format must not change.

// The keys of the expanded nodes, descendants before their ancestor, siblings in row order.
QStringList collectExpanded(const QTreeView *view);

// Expands every reachable node whose key is in keys; never collapses anything.
void applyExpanded(QTreeView *view, const QStringList &keys);
