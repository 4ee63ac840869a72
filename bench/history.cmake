# History: a year of a busy bench (200,000 records, about 60 MB) read back
# newest first, in time and memory.
add_executable(bench_history ${CMAKE_CURRENT_LIST_DIR}/history_read.cpp)
target_link_libraries(bench_history PRIVATE corvane_options corvane_bench benchmark::benchmark)
set_target_properties(bench_history PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
