# A Windows build with Qt: every program in bin/, beside the DLLs it imports and the
# plugins Qt loads from the program's folder, so that wine (or Windows) starts them
# as installed, without a PATH. The same files go into the installation.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

get_filename_component(SORTI_QT_PREFIX "${Qt6_DIR}/../../.." ABSOLUTE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE _stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_gccdir "${_stdcxx}" DIRECTORY)
# Where the imported DLLs are found: Qt's, the compiler's and the MinGW runtime's.
set(SORTI_DLL_DIRS ${SORTI_QT_PREFIX}/bin ${_gccdir} /usr/x86_64-w64-mingw32/lib)

# The plugins, here and in the installation; offscreen: the window without a display
# (-platform offscreen), for the tests, scripts and checks.
set(SORTI_QT_PLUGINS platforms/qwindows.dll platforms/qoffscreen.dll styles/qwindowsvistastyle.dll)
foreach(dll Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll Qt6Test.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  find_file(_dll_${dll} ${dll} PATHS ${SORTI_DLL_DIRS} NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED)
  file(COPY ${_dll_${dll}} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY})
endforeach()
foreach(plugin ${SORTI_QT_PLUGINS})
  get_filename_component(_sub ${plugin} DIRECTORY)
  file(COPY ${SORTI_QT_PREFIX}/plugins/${plugin} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${_sub})
endforeach()
# Qt's own German texts (standard buttons, the folder picker) from Debian's qt6-translations-l10n.
find_file(SORTI_QTBASE_DE qtbase_de.qm PATHS /usr/share/qt6/translations NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(SORTI_QTBASE_DE)
  file(COPY ${SORTI_QTBASE_DE} DESTINATION ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/translations)
endif()
