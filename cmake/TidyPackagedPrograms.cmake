# Run by CPack on the staged files before it makes the packages
# (CPACK_PRE_BUILD_SCRIPTS). Drops the compilers' version notes (.comment)
# from the programs, as Debian's own stripping does; the split into stripped
# programs and debug symbols comes after.
cmake_minimum_required(VERSION 3.25)

file(GLOB programs "${CPACK_TEMPORARY_DIRECTORY}/usr/bin/*")
foreach(program IN LISTS programs)
    execute_process(COMMAND objcopy --remove-section=.comment "${program}"
                    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
