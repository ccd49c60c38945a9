# Makes the Windows setup: installs the build into a stage, lists its files for the
# uninstaller and runs makensis over sortimentor.nsi.
#   cmake -DBUILD_DIR=build-win -DVERSION=1.1 -DMAKENSIS=makensis -DOUT=Setup.exe -P MakeSetup.cmake
set(stage ${BUILD_DIR}/setup-stage)
file(REMOVE_RECURSE ${stage})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${stage} OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)

# The uninstaller removes exactly what the setup put there, folders deepest first.
file(GLOB_RECURSE files RELATIVE ${stage} ${stage}/*)
set(list "")
set(dirs "")
foreach(f ${files})
  string(REPLACE "/" "\\" w "${f}")
  string(APPEND list "Delete \"$INSTDIR\\${w}\"\n")
  get_filename_component(d "${f}" DIRECTORY)
  if(d)
    list(APPEND dirs "${d}")
  endif()
endforeach()
list(REMOVE_DUPLICATES dirs)
list(SORT dirs ORDER DESCENDING)
foreach(d ${dirs})
  string(REPLACE "/" "\\" w "${d}")
  string(APPEND list "RMDir \"$INSTDIR\\${w}\"\n")
endforeach()
file(WRITE ${BUILD_DIR}/setup-files.nsh "${list}")

execute_process(COMMAND ${MAKENSIS} -V2 -DVERSION=${VERSION} -DSTAGE=${stage} -DFILES=${BUILD_DIR}/setup-files.nsh
                        -DOUTFILE=${OUT} ${CMAKE_CURRENT_LIST_DIR}/sortimentor.nsi
                COMMAND_ERROR_IS_FATAL ANY)
message(STATUS "setup: ${OUT}")
