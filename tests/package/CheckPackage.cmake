# cmake -DBUILD_DIR=... -P CheckPackage.cmake
# Builds the Debian package with CPack and checks its control file and
# contents: the three programs, the desktop entry, the icon, the manual page,
# and the Qt libraries among the dependencies.
execute_process(COMMAND cpack -G DEB -B ${BUILD_DIR}/package-check
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB debs ${BUILD_DIR}/package-check/*.deb)
list(LENGTH debs count)
if(NOT count EQUAL 1)
    message(FATAL_ERROR "expected one .deb, found: ${debs}")
endif()
execute_process(COMMAND dpkg-deb -f ${debs} Package Depends OUTPUT_VARIABLE control)
execute_process(COMMAND dpkg-deb -c ${debs} OUTPUT_VARIABLE contents)
foreach(needle "Package: corvane" "libqt6widgets6" "libqt6core6" "libstdc++6")
    string(FIND "${control}" "${needle}" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "control file lacks '${needle}':\n${control}")
    endif()
endforeach()
foreach(path "./usr/bin/corvane" "./usr/bin/corvane-cli" "./usr/bin/corvane-sim"
        "./usr/share/applications/corvane.desktop"
        "./usr/share/icons/hicolor/128x128/apps/corvane.png"
        "./usr/share/man/man1/corvane-cli.1")
    string(FIND "${contents}" "${path}\n" at)
    if(at EQUAL -1)
        message(FATAL_ERROR "package lacks ${path}:\n${contents}")
    endif()
endforeach()
message(STATUS "package ${debs} checked")
