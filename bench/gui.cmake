# Start-up time of the window beside a minimal GTK 3 program that opens an empty window,
# and beside the same showing one label: bench_gui_startup runs them alternately under an X server (its own Xvfb when there is
# no display) and prints the medians and their ratio. bench/gui_startup.sh builds and
# runs it.
if(TARGET orvanta)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
  pkg_check_modules(X11 REQUIRED IMPORTED_TARGET x11)
  add_executable(bench_gtk_empty_window ${CMAKE_CURRENT_SOURCE_DIR}/gtk_empty_window.cpp)
  target_link_libraries(bench_gtk_empty_window PRIVATE PkgConfig::GTK3)
  add_executable(bench_gtk_label_window ${CMAKE_CURRENT_SOURCE_DIR}/gtk_empty_window.cpp)
  target_compile_definitions(bench_gtk_label_window PRIVATE WITH_LABEL)
  target_link_libraries(bench_gtk_label_window PRIVATE PkgConfig::GTK3)
  add_executable(bench_gui_startup ${CMAKE_CURRENT_SOURCE_DIR}/gui_startup.cpp)
  target_link_libraries(bench_gui_startup PRIVATE PkgConfig::X11)
  target_compile_definitions(
    bench_gui_startup PRIVATE ORVANTA_PROGRAM="$<TARGET_FILE:orvanta>"
                              EMPTY_WINDOW_PROGRAM="$<TARGET_FILE:bench_gtk_empty_window>"
                              LABEL_WINDOW_PROGRAM="$<TARGET_FILE:bench_gtk_label_window>")
  add_dependencies(bench_gui_startup orvanta bench_gtk_empty_window bench_gtk_label_window)
endif()
