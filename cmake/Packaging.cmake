# Installation and the Debian package: the three programs, the desktop entry,
# the icon in the hicolor theme and the command line's manual page.
include(GNUInstallDirs)

install(TARGETS corvane-cli corvane-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(CORVANE_BUILD_GUI)
    install(TARGETS corvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
    install(FILES ${PROJECT_SOURCE_DIR}/resources/corvane.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    foreach(size 16 32 48 128)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/corvane-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME corvane.png)
    endforeach()
endif()
install(FILES ${PROJECT_SOURCE_DIR}/docs/corvane-cli.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR Veltra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Battery-charger service bench utility")
set(CPACK_PACKAGE_CONTACT "Veltra service bench <bench@veltra.invalid>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Reads a battery charger's boot-code and firmware versions over a serial\n\
 port and upgrades its firmware by XMODEM-CRC; a live monitor of the charger's\n\
 variables, an image-file CRC check and a simulated charger for trying it out.")
# The library dependencies (Qt, the C++ runtime) come from the binaries themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)
