#pragma once

#include <QVariant>

#include <cstdint>

// The columns of a reference list, as the tree, the list and the command line show them.
namespace ItemColumns {

int count(int32_t kind);
QVariant headerText(int32_t kind, int section);

} // namespace ItemColumns
