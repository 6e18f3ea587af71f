# orvanta-cli's batch throughput through the real binary (10,000 rows per run).
if(TARGET orvanta-cli)
  add_executable(bench_cli ${CMAKE_CURRENT_SOURCE_DIR}/cli_bench.cpp)
  target_compile_definitions(bench_cli PRIVATE ORVANTA_CLI_PATH="$<TARGET_FILE:orvanta-cli>")
  target_link_libraries(bench_cli PRIVATE orvanta_nn benchmark::benchmark)
  add_dependencies(bench_cli orvanta-cli)
endif()
