# The price model's tests: Hidden Power, coverage, species table and the whole pipeline.
foreach(test hidden_power_test coverage_test species_table_test model_orvanta_test sha256_test
             species_file_test species_snapshot_test ptp_path_test)
  add_executable(${test} ${CMAKE_CURRENT_SOURCE_DIR}/${test}.cpp)
  target_link_libraries(${test} PRIVATE orvanta_model GTest::gtest_main)
  gtest_discover_tests(${test} DISCOVERY_TIMEOUT 30)
endforeach()
