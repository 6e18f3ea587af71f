# orvanta-cli's batch throughput through the real binary (10,000 rows per run). Beside it,
# cli_batch_numpy.py times 100,000 rows against a vectorized NumPy pipeline and checks that
# both give the same prices on every row:
#   cli_batch_numpy.py setup DIR && cli_batch_numpy.py compare <orvanta-cli> DIR
if(TARGET orvanta-cli)
  add_executable(bench_cli ${CMAKE_CURRENT_SOURCE_DIR}/cli_bench.cpp)
  target_compile_definitions(bench_cli PRIVATE ORVANTA_CLI_PATH="$<TARGET_FILE:orvanta-cli>")
  target_link_libraries(bench_cli PRIVATE orvanta_nn benchmark::benchmark)
  add_dependencies(bench_cli orvanta-cli)
endif()
