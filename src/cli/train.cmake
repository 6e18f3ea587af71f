# orvanta-train: trains the price networks from sales records. The training logic is a
# library so that the tests and benchmarks drive exactly what the tool runs.
if(TARGET orvanta_model AND TARGET orvanta_csv)
  find_package(CLI11 CONFIG QUIET)
  add_library(orvanta_train STATIC
              ${CMAKE_CURRENT_LIST_DIR}/train_random.cpp
              ${CMAKE_CURRENT_LIST_DIR}/train_targets.cpp
              ${CMAKE_CURRENT_LIST_DIR}/train_sales.cpp
              ${CMAKE_CURRENT_LIST_DIR}/train_networks.cpp)
  target_include_directories(orvanta_train PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(orvanta_train PUBLIC orvanta_model orvanta_csv)

  add_executable(orvanta-train ${CMAKE_CURRENT_LIST_DIR}/orvanta_train.cpp)
  target_compile_definitions(orvanta-train PRIVATE ORVANTA_VERSION="${PROJECT_VERSION}")
  target_link_libraries(orvanta-train PRIVATE orvanta_train)
  if(TARGET CLI11::CLI11)
    target_link_libraries(orvanta-train PRIVATE CLI11::CLI11)
  endif()
endif()
