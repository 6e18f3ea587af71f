# The command-line tools' own code: the CSV reader, and orvanta-cli through its binary.
add_executable(cli_csv_reader_test ${CMAKE_CURRENT_SOURCE_DIR}/cli_csv_reader_test.cpp)
target_link_libraries(cli_csv_reader_test PRIVATE orvanta_csv GTest::gtest_main)
gtest_discover_tests(cli_csv_reader_test DISCOVERY_TIMEOUT 30)
