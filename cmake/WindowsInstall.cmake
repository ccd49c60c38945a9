# The installation on Windows, flat as Windows programs are laid out: the two programs
# and the window's library beside them,
# the DLLs they import (found from their imports with objdump, as windeployqt would),
# the platform plugin and the style, Qt's German texts. packaging/windows makes the
# setup from it (cmake --build build-win --target setup).
find_program(SORTI_OBJDUMP x86_64-w64-mingw32-objdump REQUIRED)
install(TARGETS sortimentor tagprobe RUNTIME DESTINATION .)
install(TARGETS sortimentor-fenster LIBRARY DESTINATION .)
install(CODE "set(PROGRAMS sortimentor.exe sortimentor-fenster.dll tagprobe.exe ${SORTI_QT_PLUGINS})
              set(DLL_DIRS \"${SORTI_DLL_DIRS}\")
              set(OBJDUMP \"${SORTI_OBJDUMP}\")")
foreach(plugin ${SORTI_QT_PLUGINS})
  get_filename_component(sub ${plugin} DIRECTORY)
  install(FILES ${SORTI_QT_PREFIX}/plugins/${plugin} DESTINATION ${sub})
endforeach()
if(SORTI_QTBASE_DE)
  install(FILES ${SORTI_QTBASE_DE} DESTINATION translations)
endif()
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/DeployImports.cmake)

set(SORTI_SETUP ${CMAKE_BINARY_DIR}/Sortimentor-Setup-${PROJECT_VERSION}.exe)
find_program(MAKENSIS makensis)
if(MAKENSIS)
  add_custom_target(setup
    COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${CMAKE_BINARY_DIR} -DVERSION=${PROJECT_VERSION} -DMAKENSIS=${MAKENSIS}
            -DOUT=${SORTI_SETUP} -P ${PROJECT_SOURCE_DIR}/packaging/windows/MakeSetup.cmake
    DEPENDS sortimentor sortimentor-fenster tagprobe VERBATIM)
  # Made and tried under wine as a user would: silent install, the program, silent uninstall.
  if(SORTIMENTOR_TESTS AND CMAKE_CROSSCOMPILING_EMULATOR)
    add_test(NAME windows_setup COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target setup)
    add_test(NAME windows_setup_installs
             COMMAND ${CMAKE_COMMAND} -DSETUP=${SORTI_SETUP} -DBUILD_DIR=${CMAKE_BINARY_DIR}
                     "-DEMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}" -DWINEPREFIX=${SORTI_WINEPREFIX}
                     -P ${PROJECT_SOURCE_DIR}/packaging/windows/check_setup.cmake)
    set_tests_properties(windows_setup PROPERTIES FIXTURES_SETUP windows_setup TIMEOUT 300)
    set_tests_properties(windows_setup_installs PROPERTIES FIXTURES_REQUIRED windows_setup RESOURCE_LOCK wine-registry TIMEOUT 300)
  endif()
else()
  message(WARNING "makensis not found (Debian package nsis): no Windows setup, and its check does not run")
endif()
