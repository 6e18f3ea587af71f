# The window's tests. view_texts_test needs no display; the others run under the X server
# that scripts/test starts (xvfb-run), one at a time, since they share it.
if(TARGET orvanta_view_texts)
  add_executable(view_texts_test ${CMAKE_CURRENT_SOURCE_DIR}/view_texts_test.cpp)
  target_link_libraries(view_texts_test PRIVATE orvanta_view_texts GTest::gtest_main)
  gtest_discover_tests(view_texts_test DISCOVERY_MODE PRE_TEST)
endif()

if(TARGET orvanta_gui)
  # Networks with outputs known in advance, for the in-process and end-to-end tests.
  add_library(orvanta_gui_test_networks STATIC ${CMAKE_CURRENT_SOURCE_DIR}/gui_networks.cpp)
  target_link_libraries(orvanta_gui_test_networks PUBLIC orvanta_nn)
  target_include_directories(orvanta_gui_test_networks PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  add_executable(gui_write_networks ${CMAKE_CURRENT_SOURCE_DIR}/gui_networks_main.cpp)
  target_link_libraries(gui_write_networks PRIVATE orvanta_gui_test_networks)

  # GTK must not be initialised while the tests are only listed: discovery runs them
  # when ctest does, under the X server.
  add_library(orvanta_window_harness STATIC ${CMAKE_CURRENT_SOURCE_DIR}/window_harness.cpp)
  target_link_libraries(orvanta_window_harness PUBLIC orvanta_gui GTest::gtest)
  target_include_directories(orvanta_window_harness PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  add_executable(gui_test ${CMAKE_CURRENT_SOURCE_DIR}/gui_test.cpp)
  target_link_libraries(gui_test PRIVATE orvanta_window_harness orvanta_gui_test_networks)
  gtest_discover_tests(gui_test DISCOVERY_MODE PRE_TEST PROPERTIES RESOURCE_LOCK xdisplay)
  add_executable(gui_species_test ${CMAKE_CURRENT_SOURCE_DIR}/gui_species_test.cpp)
  target_link_libraries(gui_species_test PRIVATE orvanta_window_harness orvanta_gui_test_networks)
  gtest_discover_tests(gui_species_test DISCOVERY_MODE PRE_TEST PROPERTIES RESOURCE_LOCK xdisplay)
  # The same window in a decimal-comma locale, which gtk_init takes from the environment.
  add_test(NAME gui_test_de_DE COMMAND gui_test --gtest_filter=Window.*)
  set_tests_properties(gui_test_de_DE PROPERTIES RESOURCE_LOCK xdisplay
                                                 ENVIRONMENT "LC_ALL=de_DE.UTF-8")

  find_package(PkgConfig REQUIRED)
  pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
  add_executable(gui_close_window ${CMAKE_CURRENT_SOURCE_DIR}/gui_close_window.cpp)
  target_link_libraries(gui_close_window PRIVATE PkgConfig::X11)

  # The real program under real X input: typing, Tab, Enter, clicks, the diagnostic block
  # on standard output, the width, closing; leaves gui_e2e.png in the build tree.
  add_test(NAME gui_e2e
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/gui_e2e.sh $<TARGET_FILE:orvanta>
                   $<TARGET_FILE:gui_write_networks> $<TARGET_FILE:gui_close_window>
                   ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(gui_e2e PROPERTIES RESOURCE_LOCK xdisplay TIMEOUT 120)

  # From outside, as a screen reader reads the window (accessibility over D-Bus): the
  # names of the inputs, no text over another, under an input or on the window's edge,
  # captions level with their inputs, a result greyed after an edit, at the default font
  # and at 12- and 14-point desktop fonts. Then the program of the build tree started in the
  # repository's root, as scripts/run starts it: the seller's own networks come before the
  # bundled ones.
  set(atspi dbus-run-session -- /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/gui_atspi.py
            $<TARGET_FILE:orvanta> $<TARGET_FILE:gui_write_networks>)
  add_test(NAME gui_atspi COMMAND ${atspi})
  add_test(NAME gui_atspi_large_font COMMAND ${atspi} "DejaVu Sans 12")
  add_test(NAME gui_atspi_14_points COMMAND ${atspi} "DejaVu Sans 14")
  add_test(NAME gui_atspi_clone_root COMMAND ${atspi} --clone-root ${PROJECT_SOURCE_DIR})
  set_tests_properties(gui_atspi gui_atspi_large_font gui_atspi_14_points gui_atspi_clone_root
                       PROPERTIES RESOURCE_LOCK xdisplay TIMEOUT 60)

  # --help and --version on a terminal, and scripts/run without a display.
  add_test(NAME gui_command_line
           COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/gui_command_line.sh $<TARGET_FILE:orvanta>
                   ${PROJECT_SOURCE_DIR})
endif()
