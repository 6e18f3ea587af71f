# orvanta-cli: the window's prediction and texts from the command line.
if(TARGET orvanta_view_texts AND TARGET orvanta_csv)
  find_package(CLI11 CONFIG REQUIRED)
  find_package(nlohmann_json 3 REQUIRED)
  # One prediction as the tool makes it and its records in each format; the fuzz targets
  # run the same code.
  find_package(Threads REQUIRED)
  add_library(orvanta_cli_core STATIC ${CMAKE_CURRENT_LIST_DIR}/cli_prediction.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/cli_output.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/cli_batch.cpp
                                      ${CMAKE_CURRENT_LIST_DIR}/cli_list.cpp)
  target_link_libraries(orvanta_cli_core PUBLIC orvanta_view_texts orvanta_csv
                                                nlohmann_json::nlohmann_json Threads::Threads)
  add_executable(orvanta-cli ${CMAKE_CURRENT_LIST_DIR}/orvanta_cli.cpp)
  target_compile_definitions(orvanta-cli PRIVATE ORVANTA_VERSION="${PROJECT_VERSION}")
  target_link_libraries(orvanta-cli PRIVATE orvanta_cli_core CLI11::CLI11)
endif()
