# cmake -DBUILD_DIR=... -P CheckPackage.cmake
# Builds the Debian package with CPack and checks it: the control file, the
# contents (programs, desktop entry, icon, metainfo, manual pages, copyright
# and changelog), debug symbols in the -dbgsym package under the stripped
# programs' build ids, then Debian's own checkers: lintian on both packages
# and appstreamcli on the metainfo. An error or a warning from either fails.
cmake_minimum_required(VERSION 3.25)
set(out_dir ${BUILD_DIR}/package-check)
file(REMOVE_RECURSE ${out_dir})  # packages of an earlier version would be checked too

execute_process(COMMAND cpack -G DEB -B ${out_dir}
                WORKING_DIRECTORY ${BUILD_DIR} RESULT_VARIABLE rc OUTPUT_VARIABLE out
                ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "cpack failed:\n${out}")
endif()
file(GLOB deb ${out_dir}/*.deb)
file(GLOB ddeb ${out_dir}/*.ddeb)
list(LENGTH deb debs)
list(LENGTH ddeb ddebs)
if(NOT debs EQUAL 1 OR NOT ddebs EQUAL 1)
    message(FATAL_ERROR "expected one .deb and one .ddeb, found: ${deb} ${ddeb}")
endif()

function(expect_all haystack what)
    foreach(needle IN LISTS ARGN)
        string(FIND "${haystack}" "${needle}" at)
        if(at EQUAL -1)
            message(FATAL_ERROR "${what} lacks '${needle}':\n${haystack}")
        endif()
    endforeach()
endfunction()

execute_process(COMMAND dpkg-deb -f ${deb} Package Depends OUTPUT_VARIABLE control)
expect_all("${control}" "control file" "Package: corvane\n" "libqt6widgets6" "libqt6core6"
           "libstdc++6")
execute_process(COMMAND dpkg-deb -c ${deb} OUTPUT_VARIABLE contents)
set(man ./usr/share/man/man1)
set(doc ./usr/share/doc/corvane)
expect_all("${contents}" "package"
           "./usr/bin/corvane\n" "./usr/bin/corvane-cli\n" "./usr/bin/corvane-sim\n"
           "./usr/share/applications/corvane.desktop\n"
           "./usr/share/icons/hicolor/128x128/apps/corvane.png\n"
           "./usr/share/metainfo/com.veltra.corvane.metainfo.xml\n"
           "${man}/corvane.1.gz\n" "${man}/corvane-cli.1.gz\n" "${man}/corvane-sim.1.gz\n"
           "${doc}/copyright\n" "${doc}/changelog.gz\n")

# A crash report names a program's build id; the symbols must be found by it.
set(root ${out_dir}/root)
execute_process(COMMAND dpkg-deb -x ${deb} ${root} COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND dpkg-deb -c ${ddeb} OUTPUT_VARIABLE symbols)
foreach(program corvane corvane-cli corvane-sim)
    execute_process(COMMAND readelf -n ${root}/usr/bin/${program} OUTPUT_VARIABLE notes)
    if(NOT notes MATCHES "Build ID: ([0-9a-f][0-9a-f])([0-9a-f]+)")
        message(FATAL_ERROR "${program} has no build id:\n${notes}")
    endif()
    expect_all("${symbols}" "dbgsym package"
               "./usr/lib/debug/.build-id/${CMAKE_MATCH_1}/${CMAKE_MATCH_2}.debug\n")
endforeach()

# The pages made from --help have an entry for every option the help lists.
foreach(program corvane corvane-sim)
    execute_process(COMMAND ${BUILD_DIR}/bin/${program} --help OUTPUT_VARIABLE help)
    execute_process(COMMAND gzip -dc ${root}/usr/share/man/man1/${program}.1.gz
                    OUTPUT_VARIABLE page)
    string(REGEX MATCHALL "\n +-[a-z-]+" options "${help}")
    list(LENGTH options count)
    if(count LESS 2)
        message(FATAL_ERROR "no options found in ${program} --help:\n${help}")
    endif()
    foreach(option IN LISTS options)
        string(REGEX REPLACE "[\n ]" "" option "${option}")
        string(REPLACE "-" "\\-" option "${option}")
        expect_all("${page}" "manual page of ${program}" ".TP\n\\fB${option}\\fR")
    endforeach()
endforeach()

# Lintian says once that it would rather not run as root; that is no finding.
execute_process(COMMAND lintian --fail-on error,warning --tag-display-limit 0 ${deb} ${ddeb}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
string(REPLACE "running with root privileges is not recommended!\n" "" out "${out}")
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "lintian (exit ${rc}):\n${out}")
endif()
message(STATUS "lintian: clean\n${out}")

# The homepage and screenshot addresses are not fetched: the check must not
# depend on the network.
execute_process(COMMAND appstreamcli validate --no-net --explain
                        ${root}/usr/share/metainfo/com.veltra.corvane.metainfo.xml
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate (exit ${rc}):\n${out}")
endif()
message(STATUS "appstreamcli: ${out}")
message(STATUS "packages ${deb} ${ddeb} checked")
