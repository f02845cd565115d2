# The Windows package, refscope-<version>-win64.zip (cpack -G ZIP): one folder with the program and
# its command-line companion, which need only Windows' own DLLs, the example lists, a short readme
# and the release notes. The program keeps its state in the folder it starts in, so the zip goes
# where the user may write, not under Program Files.

install(TARGETS refscope refscope-cli RUNTIME DESTINATION .)
install(FILES examples/DataRefs.txt examples/Commands.txt DESTINATION examples)
install(FILES resources/windows/README.txt DESTINATION .)
install(FILES NEWS.md DESTINATION . RENAME NEWS.txt)

set(CPACK_PACKAGE_NAME refscope)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Refscope, viewer for X-Plane datarefs and commands lists")
set(CPACK_PACKAGE_FILE_NAME "refscope-${PROJECT_VERSION}-win64")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Refscope)
set(CPACK_STRIP_FILES ON)
set(CPACK_GENERATOR ZIP)

include(CPack)
