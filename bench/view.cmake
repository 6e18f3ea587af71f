# Composing the window's texts, as orvanta-cli does for every row of a batch.
if(TARGET orvanta_view_texts)
  add_executable(bench_view ${CMAKE_CURRENT_SOURCE_DIR}/view_bench.cpp)
  target_link_libraries(bench_view PRIVATE orvanta_view_texts benchmark::benchmark)
endif()
