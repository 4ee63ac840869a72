# History: a year of a busy bench (2,000,000 records, about 775 MB) listed
# by the history command itself, in time and memory.
add_executable(bench_history ${CMAKE_CURRENT_LIST_DIR}/history_read.cpp)
target_link_libraries(bench_history PRIVATE corvane_options corvane_cli_core benchmark::benchmark)
set_target_properties(bench_history PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
