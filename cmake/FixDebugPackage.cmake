# Run by CPack after it has made the packages (CPACK_POST_BUILD_SCRIPTS).
# Completes the -dbgsym package CPack's DEB generator makes: its md5sums list
# the build tree's absolute paths instead of the package's own, the symbol
# files are marked executable, and it has no copyright or changelog. Debian's
# answer to the last one is the one its own dbgsym packages use: the
# package's doc folder is a link to the main package's.
cmake_minimum_required(VERSION 3.25)

foreach(package IN LISTS CPACK_PACKAGE_FILES)
    if(NOT package MATCHES "/([^/]+)-dbgsym_[^/]+\\.ddeb$")
        continue()
    endif()
    set(main_package "${CMAKE_MATCH_1}")
    set(tree "${package}.tree")
    file(REMOVE_RECURSE "${tree}")
    execute_process(COMMAND dpkg-deb --raw-extract "${package}" "${tree}"
                    COMMAND_ERROR_IS_FATAL ANY)

    file(GLOB_RECURSE symbol_files LIST_DIRECTORIES false "${tree}/usr/*")
    set(md5sums "")
    foreach(file IN LISTS symbol_files)
        file(CHMOD "${file}" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
        file(MD5 "${file}" sum)
        file(RELATIVE_PATH path "${tree}" "${file}")
        string(APPEND md5sums "${sum}  ${path}\n")
    endforeach()
    file(WRITE "${tree}/DEBIAN/md5sums" "${md5sums}")

    file(MAKE_DIRECTORY "${tree}/usr/share/doc")
    file(CREATE_LINK "${main_package}" "${tree}/usr/share/doc/${main_package}-dbgsym" SYMBOLIC)

    execute_process(COMMAND dpkg-deb --root-owner-group --build "${tree}" "${package}"
                    OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${tree}")
endforeach()
