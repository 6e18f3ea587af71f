# orvanta-train: training steps per second for the bundled shape, and one whole training
# run on data/sales.csv with the defaults, on one thread and on every core.
if(TARGET orvanta_train)
  add_executable(bench_train ${CMAKE_CURRENT_SOURCE_DIR}/train_bench.cpp)
  target_compile_definitions(bench_train PRIVATE ORVANTA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  target_link_libraries(bench_train PRIVATE orvanta_train benchmark::benchmark)
endif()
