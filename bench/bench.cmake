# Bench: N chargers at once against corvane-sim --chargers N paced at 38400
# baud, wall time against one charger and the processor time per charger.
add_executable(bench_engine ${CMAKE_CURRENT_LIST_DIR}/bench_engine.cpp)
target_link_libraries(bench_engine PRIVATE corvane_options corvane_bench benchmark::benchmark)
target_compile_definitions(bench_engine PRIVATE CORVANE_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
set_target_properties(bench_engine PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bench)
add_dependencies(bench_engine corvane-sim)
