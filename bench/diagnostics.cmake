# Diagnostics: file CRC throughput (the check of a large file runs on the
# window's thread) and the cost of one variable line.
add_executable(bench_diagnostics ${CMAKE_CURRENT_LIST_DIR}/DiagnosticsBench.cpp)
target_link_libraries(bench_diagnostics PRIVATE corvane_options corvane_diagnostics_core
                      benchmark::benchmark)
set_target_properties(bench_diagnostics PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/bench)
