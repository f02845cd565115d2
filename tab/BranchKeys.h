#pragma once

#include <QStringList>

class QTreeView;

// Branch keys name the nodes under the view's first top-level row by their row and column path,
// written as digits with no separator ("00", "0030", "0030120"). They are what settings.ini stores
// for a tab's expanded branches, so the format must not change.

// A key holds its parent's key, so the keys of a deep expanded path add up to the square of its
// depth. A tab keeps at most this many characters of them: the shallowest levels that fit, which
// for any ordinary file is all of them.
constexpr int branchKeyBudget = 1 << 21;

// The keys of the expanded nodes, descendants before their ancestor, siblings in row order. When
// they come to more than maxCharacters, only the keys up to the longest length that keeps them
// within it are collected (an ancestor's key is always shorter than its descendants').
QStringList collectExpanded(const QTreeView *view, int maxCharacters = branchKeyBudget);

// Expands every reachable node whose key is in keys; never collapses anything.
void applyExpanded(QTreeView *view, const QStringList &keys);

// The keys up to the longest length that keeps them within maxCharacters, in their order.
QStringList shallowestKeys(const QStringList &keys, int maxCharacters = branchKeyBudget);
