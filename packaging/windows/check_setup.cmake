# The setup as a user runs it, under wine: installs silently into a folder of the
# build, the installed program answers from the terminal in German and writes its
# settings at its first start, the Start-menu entry and the uninstall entry are there;
# the uninstaller, silent too, leaves the install folder empty and takes both entries away.
#   cmake -DSETUP=… -DBUILD_DIR=… -DEMULATOR="env;…;wine64" -DWINEPREFIX=… -P check_setup.cmake
set(root ${BUILD_DIR}/setup-check)
set(target ${root}/Programme/Sortimentor)
file(REMOVE_RECURSE ${root})
file(MAKE_DIRECTORY ${root}/leer)
string(REPLACE "/" "\\" win "Z:${target}")
set(key "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sortimentor")
file(GLOB_RECURSE links "${WINEPREFIX}/drive_c/users/*/Sortimentor.lnk")
if(links)
  file(REMOVE ${links})
endif()

function(expect what)
  if(NOT (${ARGN}))
    message(FATAL_ERROR "setup: ${what}")
  endif()
endfunction()

execute_process(COMMAND ${EMULATOR} ${SETUP} /S /D=${win} RESULT_VARIABLE rc)
expect("the silent setup ended with ${rc}" rc EQUAL 0)
foreach(f sortimentor.exe sortimentor-fenster.dll tagprobe.exe Qt6Core.dll Qt6Widgets.dll libstdc++-6.dll platforms/qwindows.dll
          translations/qtbase_de.qm Deinstallieren.exe)
  expect("${f} is not installed" EXISTS ${target}/${f})
endforeach()
file(GLOB_RECURSE links "${WINEPREFIX}/drive_c/users/*/Sortimentor.lnk")
expect("no Start-menu entry" links)
execute_process(COMMAND ${EMULATOR} reg query ${key} /v DisplayVersion OUTPUT_VARIABLE out ERROR_QUIET)
expect("no uninstall entry" out MATCHES "DisplayVersion")

execute_process(COMMAND ${EMULATOR} ${target}/sortimentor.exe --undo Z:${root}/leer
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
expect("the installed program: ${rc} ${out}" rc EQUAL 1 AND out MATCHES "keinen Durchlauf")

# A first start of the installed window writes "InstallDir" (its folder) and "Version";
# it has no way out but the close button, so it is ended after its start-up.
execute_process(COMMAND ${EMULATOR} reg delete "HKCU\\Software\\Varnolt" /f OUTPUT_QUIET ERROR_QUIET)
execute_process(COMMAND ${EMULATOR} ${target}/sortimentor.exe -platform offscreen TIMEOUT 30 OUTPUT_QUIET ERROR_QUIET)
execute_process(COMMAND ${EMULATOR} reg query "HKCU\\Software\\Varnolt\\Sortimentor" OUTPUT_VARIABLE out ERROR_QUIET)
string(REPLACE "\\" "\\\\" win_re "${win}")
expect("the settings after a first start: ${out}"
       out MATCHES "InstallDir +REG_SZ +${win_re}\r?\n" AND out MATCHES "Version +REG_SZ +1\\.1")

# The uninstaller runs on from a copy of itself in the temporary folder.
execute_process(COMMAND ${EMULATOR} ${target}/Deinstallieren.exe /S RESULT_VARIABLE rc)
expect("the silent uninstall ended with ${rc}" rc EQUAL 0)
foreach(i RANGE 60)
  file(GLOB_RECURSE left ${target}/*)
  if(NOT left AND NOT EXISTS ${target})
    break()
  endif()
  execute_process(COMMAND ${CMAKE_COMMAND} -E sleep 1)
endforeach()
expect("left after the uninstall: ${left}" NOT left)
expect("the install folder is left" NOT EXISTS ${target})
file(GLOB_RECURSE links "${WINEPREFIX}/drive_c/users/*/Sortimentor.lnk")
expect("the Start-menu entry is left" NOT links)
execute_process(COMMAND ${EMULATOR} reg query ${key} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
expect("the uninstall entry is left" NOT rc EQUAL 0)
file(REMOVE_RECURSE ${root})
