# Installing (cmake --install) and the Debian package (cpack -G DEB).

# The Windows program has a package of its own.
if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/WindowsPackage.cmake)
    return()
endif()

install(TARGETS refscope refscope-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The command line's manual page, made from its --help and --version by help2man.
find_program(HELP2MAN help2man)
if(HELP2MAN)
    set(cliManPage ${CMAKE_CURRENT_BINARY_DIR}/refscope-cli.1)
    add_custom_command(OUTPUT ${cliManPage}.gz
        COMMAND ${HELP2MAN} --no-info --section 1
            --name "search, compare and export X-Plane datarefs and commands lists, and ask a running X-Plane"
            --output ${cliManPage} $<TARGET_FILE:refscope-cli>
        COMMAND gzip -9nf ${cliManPage}
        DEPENDS refscope-cli
        VERBATIM)
    add_custom_target(refscope-cli-manpage ALL DEPENDS ${cliManPage}.gz)
    install(FILES ${cliManPage}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man not found: refscope-cli's manual page is not made")
endif()
install(FILES examples/DataRefs.txt examples/Commands.txt
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/refscope/examples)

set(REFSCOPE_MAINTAINER "Corvane <refscope@corvane.example>" CACHE STRING
    "Package maintainer: name and e-mail address")

set(CPACK_PACKAGE_NAME refscope)
set(CPACK_PACKAGE_VENDOR "Corvane")
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

# The program calls this version a beta (dialogs/ProgramInfo.cpp). "~beta" sorts before the plain
# version in Debian's ordering, so the final release of the same number is an upgrade.
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}~beta")
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
