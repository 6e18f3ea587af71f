# orvanta-train: its units (generator, targets, sales, training, runs), the tool through its
# binary, and the bundled networks in share/orvanta/ptp/ against data/sales.csv.
if(TARGET orvanta_train)
  find_package(nlohmann_json 3 REQUIRED)
  foreach(name train_random_test train_targets_test train_sales_test train_networks_test
               train_ranges_test train_run_test)
    add_executable(${name} ${CMAKE_CURRENT_SOURCE_DIR}/${name}.cpp)
    target_link_libraries(${name} PRIVATE orvanta_train GTest::gtest_main
                                          nlohmann_json::nlohmann_json)
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST)
  endforeach()

  # The bundled networks: they predict the held-out sales within the reported error,
  # and retraining reproduces them byte for byte (the full retraining of a species
  # only in optimised builds: under the sanitizers it would take minutes).
  add_executable(train_bundled_test ${CMAKE_CURRENT_SOURCE_DIR}/train_bundled_test.cpp)
  target_link_libraries(train_bundled_test PRIVATE orvanta_train GTest::gtest_main)
  target_compile_definitions(train_bundled_test PRIVATE
                             ORVANTA_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                             ORVANTA_SANITIZED=$<BOOL:${ORVANTA_SANITIZE}>)
  gtest_discover_tests(train_bundled_test DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
endif()

if(TARGET orvanta-train)
  foreach(group Usage BadRows Output Trust Reproducible)
    add_test(NAME train_cli_${group}
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/train_cli_test.py
                     $<TARGET_FILE:orvanta-train> ${group})
  endforeach()
endif()

# The measuring tool end to end on the generated market, with a few epochs: the trainer
# reads the seller's year and orvanta-cli prices the hidden one as the tool expects.
if(TARGET orvanta-train AND TARGET orvanta-cli)
  add_test(NAME train_measure_market
           COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tools/measure_training.py
                   --trainer $<TARGET_FILE:orvanta-train> --cli $<TARGET_FILE:orvanta-cli>
                   --trainer-arg=--epochs=3 market)
endif()

# The bundled networks where sellers ask most: high-IV spreads, priced through
# orvanta-cli, against the illustrative rule without the seller's variation.
if(TARGET orvanta-cli)
  add_test(NAME train_bundled_probe
           COMMAND /usr/bin/python3 ${PROJECT_SOURCE_DIR}/tools/probe_networks.py
                   $<TARGET_FILE:orvanta-cli> --ptp-dir ${PROJECT_SOURCE_DIR}/share/orvanta/ptp
                   --max-median 15)
endif()
