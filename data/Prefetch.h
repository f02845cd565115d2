#pragma once

#include <QtGlobal>

// Asks the processor to start fetching memory that a loop will read a few steps later; the loops
// that walk a list's records in an order other than memory's use it. A hint only: does nothing
// where the compiler offers none.
inline void prefetch(const void *address)
{
#if defined(Q_CC_GNU) || defined(Q_CC_CLANG)
    __builtin_prefetch(address);
#else
    Q_UNUSED(address);
#endif
}
