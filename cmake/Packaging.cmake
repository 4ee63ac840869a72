# Installation and the Debian package: the three programs with a manual page
# each, the desktop entry, the icon in the hicolor theme, the AppStream
# metainfo, and the package's copyright file and changelog. The package is
# made to pass lintian: pages and changelog compressed with gzip -9n, the
# binaries stripped with their debug symbols in a separate -dbgsym package.
include(GNUInstallDirs)

# Date of the release named by PROJECT_VERSION: move both together. The
# changelog and the metainfo take it from here, so a rebuild gives the same
# package.
set(CORVANE_RELEASE_DATE 2026-12-07)
set(CORVANE_HOMEPAGE "https://www.veltra.invalid/corvane/")
set(CORVANE_MAINTAINER "Veltra service bench <bench@veltra.invalid>")

set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)
set(package_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/corvane)

# Compresses IN to OUT the way Debian wants it: best compression, no name or
# time stamp, so the result depends only on the content.
function(corvane_gzip in out)
    add_custom_command(OUTPUT ${out}
                       COMMAND ${CMAKE_COMMAND} -DIN=${in} -DOUT=${out}
                               -P ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake
                       DEPENDS ${in} ${PROJECT_SOURCE_DIR}/cmake/GzipFile.cmake VERBATIM)
endfunction()

# Manual pages. The window's and the simulator's are made from their --help
# and a template for the rest; the command line's is written by hand.
set(man_pages ${packaging_dir}/corvane-cli.1.gz)
corvane_gzip(${PROJECT_SOURCE_DIR}/docs/corvane-cli.1 ${packaging_dir}/corvane-cli.1.gz)
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
                               -DVERSION_LABEL=${CORVANE_VERSION_LABEL}
                               -P ${PROJECT_SOURCE_DIR}/cmake/HelpToManPage.cmake
                       DEPENDS ${program} ${template}
                               ${PROJECT_SOURCE_DIR}/cmake/HelpToManPage.cmake
                       VERBATIM)
    corvane_gzip(${page} ${page}.gz)
    list(APPEND man_pages ${page}.gz)
endforeach()

# The Debian changelog: one entry for the project's version.
execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C
                        date -u -R -d "${CORVANE_RELEASE_DATE} 12:00:00"
                OUTPUT_VARIABLE release_date_rfc2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
file(CONFIGURE OUTPUT ${packaging_dir}/changelog CONTENT
"corvane (${PROJECT_VERSION}) unstable; urgency=medium

  * Corvane ${PROJECT_VERSION}, carrying charger firmware ${CORVANE_VERSION_LABEL}.

 -- ${CORVANE_MAINTAINER}  ${release_date_rfc2822}
")
corvane_gzip(${packaging_dir}/changelog ${packaging_dir}/changelog.gz)

# The copyright file in Debian's machine-readable format, made from LICENSE
# (its holder line and its permission text).
file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
if(NOT license MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.*[^\n])\n*$")
    message(FATAL_ERROR "LICENSE: no copyright line followed by the licence text")
endif()
set(copyright_holder "${CMAKE_MATCH_1}")
string(REGEX REPLACE "\n\n" "\n.\n" license_text "${CMAKE_MATCH_2}")
string(REPLACE "\n" "\n " license_text " ${license_text}")
file(CONFIGURE OUTPUT ${packaging_dir}/copyright CONTENT
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: Corvane
Upstream-Contact: ${CORVANE_MAINTAINER}
Source: ${CORVANE_HOMEPAGE}

Files: *
Copyright: ${copyright_holder}
License: MIT

License: MIT
${license_text}
")

configure_file(${PROJECT_SOURCE_DIR}/resources/com.veltra.corvane.metainfo.xml.in
               ${packaging_dir}/com.veltra.corvane.metainfo.xml @ONLY)

add_custom_target(corvane_package_files ALL DEPENDS ${man_pages} ${packaging_dir}/changelog.gz)

# The packaged programs resolve every symbol at start, so the relocation
# tables can be read-only for the whole run (as Debian links its own).
foreach(program corvane-cli ${generated_programs})
    target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
endforeach()

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
install(FILES ${packaging_dir}/copyright ${packaging_dir}/changelog.gz
        DESTINATION ${package_doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR Veltra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_HOMEPAGE_URL ${CORVANE_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "battery-charger service bench utility")
set(CPACK_PACKAGE_CONTACT ${CORVANE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# CPack puts the summary first and indents these lines by one space.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads a battery charger's boot-code and firmware versions over a serial
port and upgrades its firmware by XMODEM-CRC; a live monitor of the charger's
variables, an image-file CRC check and a simulated charger for trying it out.")
# The library dependencies (Qt, the C++ runtime) come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Strips the programs and puts their debug symbols, found by build id, into
# corvane-dbgsym.
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/TidyPackagedPrograms.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/FixDebugPackage.cmake)
include(CPack)
