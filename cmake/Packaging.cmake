# Installation, which the Debian packages (debian/) are made from: the three
# programs with a manual page each, the desktop entry, the icon in the
# hicolor theme and the AppStream metainfo. debian/*.install split them into
# corvane-cli (command line, simulator) and corvane (the window); dh strips,
# compresses and writes the copyright files and changelog. The version and
# its date come from debian/changelog (cmake/ChangelogVersion.cmake).
include(GNUInstallDirs)

set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)

# Manual pages. The window's and the simulator's are made from their --help
# and a template for the rest; the command line's is written by hand. All
# three name the release, its month and the carried image's version.
set(VERSION ${CORVANE_PACKAGE_VERSION})
set(RELEASE_MONTH ${CORVANE_RELEASE_MONTH})
set(IMAGE_VERSION ${CORVANE_VERSION_LABEL})
set(man_pages ${packaging_dir}/corvane-cli.1)
configure_file(${PROJECT_SOURCE_DIR}/docs/corvane-cli.1.in ${packaging_dir}/corvane-cli.1 @ONLY)
set(generated_programs corvane-sim)
if(CORVANE_BUILD_GUI)
    list(APPEND generated_programs corvane)
endif()
foreach(program IN LISTS generated_programs)
    set(template ${PROJECT_SOURCE_DIR}/docs/${program}.1.in)
    set(page ${packaging_dir}/${program}.1)
    add_custom_command(OUTPUT ${page}
                       COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                               ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${program}>
                               -DTEMPLATE=${template} -DOUTPUT=${page}
                               -DVERSION=${CORVANE_PACKAGE_VERSION}
                               "-DRELEASE_MONTH=${CORVANE_RELEASE_MONTH}"
                               -DIMAGE_VERSION=${CORVANE_VERSION_LABEL}
                               -P ${PROJECT_SOURCE_DIR}/cmake/HelpToManPage.cmake
                       DEPENDS ${program} ${template}
                               ${PROJECT_SOURCE_DIR}/cmake/HelpToManPage.cmake
                       VERBATIM)
    list(APPEND man_pages ${page})
endforeach()
add_custom_target(corvane_manual_pages ALL DEPENDS ${man_pages})

configure_file(${PROJECT_SOURCE_DIR}/resources/com.veltra.corvane.metainfo.xml.in
               ${packaging_dir}/com.veltra.corvane.metainfo.xml @ONLY)

install(TARGETS corvane-cli corvane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(CORVANE_BUILD_GUI)
    install(TARGETS corvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/corvane.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${packaging_dir}/com.veltra.corvane.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
    foreach(size 16 32 48 128)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/corvane-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME corvane.png)
    endforeach()
endif()
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
