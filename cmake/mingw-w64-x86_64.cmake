# Cross-building Refscope for 64-bit Windows with Debian's MinGW-w64 (POSIX threads variant).
# Pass the static Qt kit as CMAKE_PREFIX_PATH; the tests then run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(REFSCOPE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${REFSCOPE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${REFSCOPE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${REFSCOPE_MINGW_TRIPLE}-windres)
set(CMAKE_STRIP /usr/bin/${REFSCOPE_MINGW_TRIPLE}-strip CACHE FILEPATH "")

# Libraries and packages come from MinGW's tree and the Qt kit only, never from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${REFSCOPE_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One executable that needs only Windows' own DLLs: the C++ runtime and threads are linked in.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# CTest starts every test program through Wine, in a Wine prefix of the build tree's own.
find_program(REFSCOPE_WINE wine)
if(REFSCOPE_WINE)
    get_filename_component(REFSCOPE_WINE_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ABSOLUTE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${REFSCOPE_WINE_RUN} ${CMAKE_BINARY_DIR}/wine)
endif()
