#pragma once

#include <QAbstractItemModel>

// Asks a model everything a view asks while it shows and scrolls through it: every row and column of
// every branch, their parents, the data of each role a view paints with, flags and headers. Stops the
// program when the answers contradict each other. Returns the number of indexes visited.
int walkModel(const QAbstractItemModel &model);
