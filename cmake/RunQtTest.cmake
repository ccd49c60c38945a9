# Runs a Qt Test program under EMULATOR with its log in the file LOG, prints the log
# and ends as the program did.
#   cmake -DPROGRAM=x.exe -DLOG=x.log -DEMULATOR="env;...;wine64" -P RunQtTest.cmake
get_filename_component(dir "${LOG}" DIRECTORY)
file(MAKE_DIRECTORY "${dir}" "$ENV{XDG_DATA_HOME}/Trash/files" "$ENV{XDG_DATA_HOME}/Trash/info")
file(REMOVE "${LOG}")
# A drive of the test's own (S:, a folder of the build), for albums at a drive's root.
string(REGEX MATCH "WINEPREFIX=[^;]+" prefix "${EMULATOR}")
string(REPLACE "WINEPREFIX=" "" prefix "${prefix}")
if(prefix)
  file(REMOVE_RECURSE "${LOG}.drive")
  file(MAKE_DIRECTORY "${LOG}.drive")
  file(REMOVE "${prefix}/dosdevices/s:")
  file(CREATE_LINK "${LOG}.drive" "${prefix}/dosdevices/s:" SYMBOLIC)
  set(ENV{SORTI_TEST_DRIVE} "S:")
endif()
execute_process(COMMAND sh "${CMAKE_CURRENT_LIST_DIR}/RunToEnd.sh" "${LOG}" ${EMULATOR} "${PROGRAM}" -o "Z:${LOG},txt"
                RESULT_VARIABLE rc)
if(EXISTS "${LOG}")
  file(READ "${LOG}" text)
  message("${text}")
endif()
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} ended with ${rc}")
endif()
