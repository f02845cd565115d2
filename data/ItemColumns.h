#pragma once

#include <QColor>
#include <QVariant>

#include <cstdint>

// Column layout and colours shared by the tree and the list of references.
namespace ItemColumns {

int count(int32_t kind);
QVariant headerText(int32_t kind, int section);

inline QColor leafColor()
{
    return QColor(150, 50, 150);
}

inline QColor branchColor()
{
    return QColor(50, 100, 150);
}

} // namespace ItemColumns
