# Installing (cmake --install) and the Debian package (cpack -G DEB).

# The Windows program has a package of its own.
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackage.cmake)
    return()
endif()

set(REFSCOPE_MAINTAINER "Corvane <refscope@corvane.example>" CACHE STRING
    "Package maintainer: name and e-mail address")

# The program calls this version a beta (dialogs/ProgramInfo.cpp). "~beta" sorts before the plain
# version in Debian's ordering, so the final release of the same number is an upgrade.
set(refscopePackageVersion "${PROJECT_VERSION}~beta")
set(CPACK_PACKAGE_VENDOR "Corvane")

# The notice's year and holder alone, for the files under a free licence of their own.
string(REGEX REPLACE "^Copyright (\\([Cc]\\) )?|\\.? *All rights reserved\\.?$" "" copyrightHolder
    "${REFSCOPE_COPYRIGHT}")

set(docDir ${CMAKE_INSTALL_DATADIR}/doc/refscope)
set(generated ${CMAKE_CURRENT_BINARY_DIR}/package)
set(manPages)
set(madeFiles)

# The window's manual page, written by hand.
configure_file(resources/refscope.1.in ${generated}/refscope.1 @ONLY)
add_custom_command(OUTPUT ${generated}/refscope.1.gz
    COMMAND gzip -9nkf ${generated}/refscope.1
    DEPENDS ${generated}/refscope.1
    VERBATIM)
list(APPEND manPages ${generated}/refscope.1.gz)

# The command line's manual page, made from its --help and --version by help2man, with a pointer
# to the window's.
find_program(HELP2MAN help2man)
if(HELP2MAN)
    add_custom_command(OUTPUT ${generated}/refscope-cli.1.gz
        COMMAND ${HELP2MAN} --no-info --section 1
            --name "search, compare and export X-Plane datarefs and commands lists, and ask a running X-Plane"
            --include ${CMAKE_SOURCE_DIR}/resources/refscope-cli.h2m
            --version-string ${PROJECT_VERSION}
            --output ${generated}/refscope-cli.1 $<TARGET_FILE:refscope-cli>
        COMMAND gzip -9nf ${generated}/refscope-cli.1
        DEPENDS refscope-cli ${CMAKE_SOURCE_DIR}/resources/refscope-cli.h2m
        VERBATIM)
    list(APPEND manPages ${generated}/refscope-cli.1.gz)
else()
    message(STATUS "help2man not found: refscope-cli's manual page is not made")
endif()

# The changelog and the software centres' release list, both from the release notes.
configure_file(resources/refscope.metainfo.xml.in ${generated}/metainfo.xml.in @ONLY)
set(metainfo ${generated}/${REFSCOPE_APP_ID}.metainfo.xml)
find_package(Python3 COMPONENTS Interpreter QUIET)
if(Python3_Interpreter_FOUND)
    add_custom_command(OUTPUT ${generated}/changelog.gz ${metainfo}
        COMMAND Python3::Interpreter ${CMAKE_CURRENT_LIST_DIR}/release-notes.py
            ${CMAKE_SOURCE_DIR}/NEWS.md refscope ${refscopePackageVersion} ${REFSCOPE_MAINTAINER}
            ${generated}/changelog ${generated}/metainfo.xml.in ${metainfo}
        COMMAND gzip -9nf ${generated}/changelog
        DEPENDS ${CMAKE_SOURCE_DIR}/NEWS.md ${CMAKE_CURRENT_LIST_DIR}/release-notes.py
            ${generated}/metainfo.xml.in
        VERBATIM)
    list(APPEND madeFiles ${generated}/changelog.gz ${metainfo})
else()
    message(STATUS "Python 3 not found: the changelog and the AppStream metadata are not made")
endif()

configure_file(cmake/copyright.in ${generated}/copyright @ONLY)

add_custom_target(refscope-package-files ALL DEPENDS ${manPages} ${madeFiles})

# Everything the package installs, in one place. Directories are made 0755 whatever the umask.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
install(TARGETS refscope refscope-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES resources/refscope-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
    RENAME refscope-cli)
# The program sets no window icon of its own: desktops take it from the entry, matched by the
# window class (StartupWMClass), which Qt derives from the executable's name.
install(FILES resources/refscope.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications
    RENAME ${REFSCOPE_APP_ID}.desktop)
foreach(size 16 24 32 48 64 128 256)
    install(FILES resources/appicon/refscope_${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME refscope.png)
endforeach()
if(Python3_Interpreter_FOUND)
    install(FILES ${metainfo} DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    install(FILES ${generated}/changelog.gz DESTINATION ${docDir})
endif()
install(FILES ${generated}/copyright DESTINATION ${docDir})
install(FILES examples/DataRefs.txt examples/Commands.txt DESTINATION ${docDir}/examples)

set(CPACK_PACKAGE_NAME refscope)
set(CPACK_PACKAGE_CONTACT "${REFSCOPE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for X-Plane datarefs and commands lists")
# The control file keeps these line breaks.
set(CPACK_PACKAGE_DESCRIPTION [=[Refscope opens the datarefs and commands lists of the X-Plane flight
simulator in tabs, shows them as a tree of path segments or as a sorted
list, searches them, and copies a reference's path to the clipboard, for
people who build aircraft, panels and plugins. Its command-line companion,
refscope-cli, searches the lists, shows what changed between two of them,
and exports them as text, TSV, CSV or JSON Lines; it also lists, reads,
watches and writes what a running X-Plane (12.1.1 or later) holds, through
the simulator's web API.]=])
set(CPACK_PACKAGE_INSTALL_DIRECTORY refscope)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_VERSION "${refscopePackageVersion}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${REFSCOPE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://${REFSCOPE_PRODUCT_PAGE}")
# Depends comes from the libraries the binary links (dpkg-shlibdeps, from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# HTTPS checks the update host's certificate against the system's store.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")

include(CPack)
