#pragma once

#include <QColor>

// The colours that tell references from branches in the tree and the list.
namespace ItemColors {

inline QColor leafColor()
{
    return QColor(150, 50, 150);
}

inline QColor branchColor()
{
    return QColor(50, 100, 150);
}

} // namespace ItemColors
