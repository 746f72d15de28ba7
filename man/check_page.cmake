# Checks a manual page: it renders without any groff warning, every
# placeholder was filled in, and its synopsis is the program's own usage
# line (when PROGRAM is given), so the two cannot drift apart.
#   cmake [-DGROFF=<groff>] -DPAGE=<page> [-DPROGRAM=<program>] -P check_page.cmake

file(READ ${PAGE} source)
if(source MATCHES "@[A-Za-z_]+@")
  message(FATAL_ERROR "${PAGE}: ${CMAKE_MATCH_0} was not filled in")
endif()

if(NOT GROFF)
  # The test shows as skipped, with this line as the reason.
  message("Skipped: groff was not found when the build was configured (apt-get install groff-base)")
  return()
endif()

execute_process(COMMAND ${GROFF} -ww -z -man ${PAGE}
                RESULT_VARIABLE status ERROR_VARIABLE warnings)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  message(FATAL_ERROR "${PAGE} does not render cleanly (status ${status}):\n${warnings}")
endif()

if(NOT PROGRAM)
  return()
endif()
# Without arguments every program prints its usage line, on one stream or
# the other.
execute_process(COMMAND ${PROGRAM} OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX MATCH "Usage: ([^\r\n]*)" usage "${out}${err}")
if(NOT usage)
  message(FATAL_ERROR "${PROGRAM} printed no usage line:\n${out}${err}")
endif()
set(usage "${CMAKE_MATCH_1}")

# Plain text: no overstriking, no escape sequences.
execute_process(COMMAND ${GROFF} -man -Tascii -P-cbou ${PAGE}
                OUTPUT_VARIABLE text RESULT_VARIABLE status)
string(REGEX MATCH "\nSYNOPSIS\n[ ]*([^\n]*)" synopsis "${text}")
if(NOT status EQUAL 0 OR NOT synopsis)
  message(FATAL_ERROR "${PAGE}: no synopsis in the rendered page")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL usage)
  message(FATAL_ERROR
    "${PAGE}: the synopsis\n  ${CMAKE_MATCH_1}\nis not the usage line\n  ${usage}")
endif()
