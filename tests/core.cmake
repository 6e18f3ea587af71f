# Tests of the numeric core: matrix and perceptron units.
foreach(name matrix_test matrix_print_test perceptron_test perceptron_file_test
             perceptron_train_test)
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE orvanta_nn GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
endforeach()

# The one UTF-8 check, against the JSON library's own rule.
find_package(nlohmann_json 3 REQUIRED)
add_executable(utf8_text_test ${CMAKE_CURRENT_SOURCE_DIR}/utf8_text_test.cpp)
target_link_libraries(utf8_text_test PRIVATE orvanta_common nlohmann_json::nlohmann_json
                                             GTest::gtest_main)
gtest_discover_tests(utf8_text_test DISCOVERY_MODE PRE_TEST)
