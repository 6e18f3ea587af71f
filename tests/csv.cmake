# The CSV reader both programs share.
if(TARGET orvanta_csv)
  add_executable(csv_reader_test ${CMAKE_CURRENT_SOURCE_DIR}/csv_reader_test.cpp)
  target_link_libraries(csv_reader_test PRIVATE orvanta_csv GTest::gtest_main)
  gtest_discover_tests(csv_reader_test DISCOVERY_TIMEOUT 30)
endif()
