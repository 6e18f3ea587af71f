# CSV reading shared by orvanta-cli and orvanta-train: Debian's libcsv does the tokenising.
find_path(LIBCSV_INCLUDE_DIR csv.h REQUIRED)
find_library(LIBCSV_LIBRARY csv REQUIRED)
add_library(orvanta_csv STATIC ${CMAKE_CURRENT_LIST_DIR}/csv_reader.cpp)
target_include_directories(orvanta_csv PUBLIC ${PROJECT_SOURCE_DIR}/src ${LIBCSV_INCLUDE_DIR})
target_link_libraries(orvanta_csv PUBLIC ${LIBCSV_LIBRARY})
