# Protocol: one whole upgrade against the simulated charger paced at 38400
# baud, against the protocol's own floor, with the process CPU time it costs.
add_executable(bench_upgrade ${CMAKE_CURRENT_LIST_DIR}/protocol_upgrade.cpp)
target_link_libraries(bench_upgrade PRIVATE corvane_options corvane_protocol corvane_sim
                      benchmark::benchmark)
set_target_properties(bench_upgrade PROPERTIES RUNTIME_OUTPUT_DIRECTORY
                      ${CMAKE_BINARY_DIR}/bench)
