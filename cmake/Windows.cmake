# What the Windows build adds: the program's resources, and the platform plugins of a static Qt.

if(WIN32)
    # No console window; the application icon, the manifest and the version information.
    set(REFSCOPE_ICO ${PROJECT_SOURCE_DIR}/resources/appicon/refscope.ico)
    set(REFSCOPE_MANIFEST ${CMAKE_CURRENT_BINARY_DIR}/generated/refscope.manifest)
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/refscope.manifest.in ${REFSCOPE_MANIFEST} @ONLY)
    configure_file(${PROJECT_SOURCE_DIR}/resources/windows/refscope.rc.in
        ${CMAKE_CURRENT_BINARY_DIR}/generated/refscope.rc @ONLY)
    target_sources(refscope PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/generated/refscope.rc)
    set_target_properties(refscope PROPERTIES WIN32_EXECUTABLE ON)
endif()

# A static Qt links its plugins into each program. The program takes the ones Qt links by default
# (on Windows the windows platform and the native style); the tests also need the offscreen platform
# they run on. A shared Qt finds its plugins when a program starts, so it needs nothing here.
function(refscope_add_offscreen_platform target)
    get_target_property(qtCoreType Qt5::Core TYPE)
    if(qtCoreType STREQUAL "STATIC_LIBRARY")
        qt5_import_plugins(${target} INCLUDE Qt5::QOffscreenIntegrationPlugin)
    endif()
endfunction()
