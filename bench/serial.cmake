# Serial link: CRC-16 throughput over a large buffer, and the latency from a
# byte arriving on the line to ReadByte returning it.
add_executable(bench_crc ${CMAKE_CURRENT_LIST_DIR}/serial_crc.cpp)
target_link_libraries(bench_crc PRIVATE corvane_options corvane_support benchmark::benchmark)

add_executable(bench_serial_latency ${CMAKE_CURRENT_LIST_DIR}/serial_latency.cpp)
target_link_libraries(bench_serial_latency PRIVATE corvane_options corvane_serial
                      benchmark::benchmark)

set_target_properties(bench_crc bench_serial_latency PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/bench)
