# One whole prediction (three network files read, three forward passes) and the species
# lookup alone.
add_executable(bench_model ${CMAKE_CURRENT_SOURCE_DIR}/model_bench.cpp)
target_link_libraries(bench_model PRIVATE orvanta_model benchmark::benchmark)
