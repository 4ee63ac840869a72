# corvane_add_test(NAME name SOURCES ... LIBS ... LABELS ... [TIMEOUT s] [AS_USER])
# One GoogleTest executable registered with CTest; its cases are discovered so
# that ctest reports each one and runs them in parallel.
#
# AS_USER: the program also runs as an unprivileged user (name_as_user, label
# user), through tests/user/run-as-user.sh: as root, all of it as nobody; as
# anyone else, its suites named *AsUser*, which the ordinary run leaves out
# because root could not run them.
include(GoogleTest)
function(corvane_add_test)
    cmake_parse_arguments(T "AS_USER" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    add_executable(${T_NAME} ${T_SOURCES})
    target_link_libraries(${T_NAME} PRIVATE corvane_options GTest::gtest GTest::gtest_main
                          ${T_LIBS})
    set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                          ${CMAKE_BINARY_DIR}/tests)
    # Paths reach the tests as compile definitions: a list in ENVIRONMENT
    # would not survive gtest_discover_tests' quoting.
    target_compile_definitions(${T_NAME} PRIVATE CORVANE_BIN_DIR="${CMAKE_BINARY_DIR}/bin"
                               CORVANE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
    gtest_discover_tests(${T_NAME}
        PROPERTIES LABELS "${T_LABELS}" TIMEOUT ${T_TIMEOUT}
                   ENVIRONMENT "QT_QPA_PLATFORM=offscreen"
        TEST_FILTER "-*AsUser*"
        DISCOVERY_TIMEOUT 60)
    if(T_AS_USER)
        add_test(NAME ${T_NAME}_as_user
                 COMMAND ${PROJECT_SOURCE_DIR}/tests/user/run-as-user.sh $<TARGET_FILE:${T_NAME}>)
        set_tests_properties(${T_NAME}_as_user PROPERTIES LABELS "user;${T_LABELS}"
                             TIMEOUT ${T_TIMEOUT} SKIP_RETURN_CODE 77
                             ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
    endif()
endfunction()
