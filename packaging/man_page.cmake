# Builds one manual page: scdoc turns SOURCE into roff, gzip -n compresses it into PAGE
# (without a name or time stamp in the header, so equal sources give equal files).
#   cmake -DSCDOC=... -DGZIP=... -DSOURCE=x.1.scd -DPAGE=x.1.gz -P man_page.cmake
get_filename_component(dir "${PAGE}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}")
execute_process(COMMAND "${SCDOC}" INPUT_FILE "${SOURCE}" OUTPUT_FILE "${PAGE}.roff"
                RESULT_VARIABLE scdoc_status ERROR_VARIABLE scdoc_error)
if(NOT scdoc_status EQUAL 0)
  file(REMOVE "${PAGE}.roff")
  message(FATAL_ERROR "scdoc failed on ${SOURCE}: ${scdoc_error}")
endif()
execute_process(COMMAND "${GZIP}" -9 -n -c "${PAGE}.roff" OUTPUT_FILE "${PAGE}"
                RESULT_VARIABLE gzip_status)
file(REMOVE "${PAGE}.roff")
if(NOT gzip_status EQUAL 0)
  file(REMOVE "${PAGE}")
  message(FATAL_ERROR "gzip failed on ${PAGE}")
endif()
