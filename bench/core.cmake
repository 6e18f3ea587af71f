# The numeric core: matrix product, forward pass, training step and model file of an
# 8-16-4 network.
add_executable(bench_core ${CMAKE_CURRENT_SOURCE_DIR}/core_bench.cpp)
target_link_libraries(bench_core PRIVATE orvanta_nn benchmark::benchmark)
