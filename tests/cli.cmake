# orvanta-cli's own code, and the tool through its binary.
if(TARGET orvanta_cli_core)
  foreach(test cli_output_test cli_prediction_test)
    add_executable(${test} ${CMAKE_CURRENT_SOURCE_DIR}/${test}.cpp)
    target_link_libraries(${test} PRIVATE orvanta_cli_core GTest::gtest_main)
    gtest_discover_tests(${test} DISCOVERY_TIMEOUT 30)
  endforeach()
endif()

# orvanta-cli through its real binary, one CTest test per group of cases.
if(TARGET orvanta-cli)
  foreach(group Single Usage Batch BatchRecords BatchPipeline SpeciesFields BadBatchInput Guards
                InstalledNetworks CloneRoot)
    add_test(NAME cli_${group}
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/cli_test.py
                     $<TARGET_FILE:orvanta-cli> ${CMAKE_CURRENT_SOURCE_DIR}/data/cli ${group})
  endforeach()
endif()
