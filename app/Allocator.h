#pragma once

#ifdef REFSCOPE_MIMALLOC
#include <mimalloc.h>
#endif

// Where the build found it, the program allocates with mimalloc: once loaded it serves every
// allocation of the process, and it makes and frees the millions of small blocks of a large list
// (tree nodes, their names, the view's persistent indexes) several times faster than the C library
// does. Called first thing in main, it names the library, so that no linker drops it as unused;
// without mimalloc it does nothing.
inline void setUpAllocator()
{
#ifdef REFSCOPE_MIMALLOC
    (void)mi_version();
#endif
}
