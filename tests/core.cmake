# Tests of the numeric core: matrix and perceptron units.
foreach(name matrix_test matrix_print_test perceptron_test perceptron_file_test
             perceptron_train_test)
  add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE orvanta_nn GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
endforeach()
