# Reliability: a soak of many predictions in one process, a monkey test of the real
# window, and regression tests of faults the fuzzers found.
add_library(orvanta_reliability_networks STATIC ${CMAKE_CURRENT_SOURCE_DIR}/reliability_networks.cpp)
target_link_libraries(orvanta_reliability_networks PUBLIC orvanta_nn)
target_include_directories(orvanta_reliability_networks PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})

if(TARGET orvanta_view_texts)
  add_executable(soak_test ${CMAKE_CURRENT_SOURCE_DIR}/soak_test.cpp)
  target_link_libraries(soak_test PRIVATE orvanta_view_texts orvanta_reliability_networks
                                          GTest::gtest_main)
  gtest_discover_tests(soak_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
endif()

# The window under the X server that scripts/test starts; it shares that server with the
# other window tests, so one at a time.
if(TARGET orvanta_window_harness)
  add_executable(monkey_test ${CMAKE_CURRENT_SOURCE_DIR}/monkey_test.cpp)
  target_link_libraries(monkey_test PRIVATE orvanta_window_harness orvanta_reliability_networks)
  gtest_discover_tests(monkey_test DISCOVERY_MODE PRE_TEST
                       PROPERTIES RESOURCE_LOCK xdisplay TIMEOUT 300)
endif()

# The fuzz targets replayed on their seed corpus (fuzz/corpus/), which also keeps every
# input that once made a target fail; tools/fuzz runs them under libFuzzer.
set(fuzz_dir ${PROJECT_SOURCE_DIR}/fuzz)
function(orvanta_fuzz_replay name)
  add_executable(${name}_replay ${fuzz_dir}/${name}_fuzz.cpp ${fuzz_dir}/replay_main.cpp ${ARGN})
  target_include_directories(${name}_replay PRIVATE ${fuzz_dir})
  target_link_libraries(${name}_replay PRIVATE orvanta_reliability_networks)
  add_test(NAME fuzz_replay.${name} COMMAND ${name}_replay ${fuzz_dir}/corpus/${name})
endfunction()

orvanta_fuzz_replay(load_perceptron)
orvanta_fuzz_replay(species_file)
target_link_libraries(species_file_replay PRIVATE orvanta_model)
orvanta_fuzz_replay(species_networks)
target_link_libraries(species_networks_replay PRIVATE orvanta_model)
if(TARGET orvanta_view_texts)
  orvanta_fuzz_replay(predict_price)
  target_link_libraries(predict_price_replay PRIVATE orvanta_view_texts)
endif()
if(TARGET orvanta_cli_core)
  orvanta_fuzz_replay(cli_batch)
  target_link_libraries(cli_batch_replay PRIVATE orvanta_cli_core)
endif()
if(TARGET orvanta_train)
  orvanta_fuzz_replay(train_sales)
  target_link_libraries(train_sales_replay PRIVATE orvanta_train)
endif()
