# Station: 200 simulated chargers upgraded at once with 0 or 5 clients on the
# page's event stream; the bench's wall time and event-to-client latency.
add_executable(bench_station ${CMAKE_CURRENT_LIST_DIR}/station_stream.cpp)
target_link_libraries(bench_station PRIVATE corvane_options corvane_station corvane_bench
                      corvane_sim benchmark::benchmark)
set_target_properties(bench_station PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)

# Station memory: the resident set over a 10-minute run (CORVANE_STATION_MEMORY_S
# shortens it) with chargers unplugged and plugged back in all the while.
add_executable(bench_station_memory ${CMAKE_CURRENT_LIST_DIR}/station_memory.cpp)
target_link_libraries(bench_station_memory PRIVATE corvane_options corvane_station corvane_bench
                      corvane_sim benchmark::benchmark)
set_target_properties(bench_station_memory PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                                                      ${CMAKE_BINARY_DIR}/bench)
