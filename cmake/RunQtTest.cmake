# Runs a Qt Test program under EMULATOR with its log in the file LOG, prints the log
# and ends as the program did.
#   cmake -DPROGRAM=x.exe -DLOG=x.log -DEMULATOR="env;...;wine64" -P RunQtTest.cmake
get_filename_component(dir "${LOG}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}" "$ENV{XDG_DATA_HOME}/Trash/files" "$ENV{XDG_DATA_HOME}/Trash/info")
file(REMOVE "${LOG}")
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" -o "Z:${LOG},txt" RESULT_VARIABLE rc)
if(EXISTS "${LOG}")
  file(READ "${LOG}" text)
  message("${text}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ended with ${rc}")
endif()
