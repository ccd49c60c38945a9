# Installs into a scratch prefix and checks that each desktop file is in place.
set(prefix "${BUILD_DIR}/install-check")
file(REMOVE_RECURSE "${prefix}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()
foreach(f bin/sortimentor bin/sortimentor-tagprobe ${WINDOW_LIBRARY} share/man/man1/sortimentor.1.gz
          share/applications/sortimentor.desktop
          share/metainfo/org.example.sortimentor.metainfo.xml
          share/icons/hicolor/scalable/apps/sortimentor.svg
          share/icons/hicolor/48x48/apps/sortimentor.png
          share/icons/hicolor/256x256/apps/sortimentor.png)
  if(NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "missing after install: ${f}")
  endif()
endforeach()
# The tag tool only under the program's prefix, where no other package's name can be.
if(EXISTS "${prefix}/bin/tagprobe")
  message(FATAL_ERROR "installed as bin/tagprobe")
endif()
if(APPSTREAMCLI)
  execute_process(COMMAND ${APPSTREAMCLI} validate-tree --no-net "${prefix}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "appstreamcli validate-tree: ${out}")
  endif()
endif()
file(REMOVE_RECURSE "${prefix}")
