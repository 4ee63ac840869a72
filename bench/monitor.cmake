# Monitor: taking and recording reports at a fast charger's rate, and the
# decimation that keeps a day-long trend chart quick to redraw.
add_executable(bench_monitor ${CMAKE_CURRENT_LIST_DIR}/MonitorBench.cpp)
target_link_libraries(bench_monitor PRIVATE corvane_options corvane_diagnostics_core
                      benchmark::benchmark)
set_target_properties(bench_monitor PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/bench)
