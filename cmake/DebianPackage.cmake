# The Debian package: what `cmake --install` lays out, plus the terminal's tag tool
# under a name of its own, the manual pages, the copyright and the changelog.
# `cpack -G DEB` in the build makes sortimentor_VERSION_ARCH.deb (scripts/package.sh).
include(GNUInstallDirs)
set(deb ${PROJECT_SOURCE_DIR}/packaging/debian)
set(doc ${CMAKE_INSTALL_DATADIR}/doc/sortimentor)

if(TARGET tagprobe)
  # "tagprobe" alone could be any package's: installed stripped as install(TARGETS)
  # does, then given the program's prefix.
  install(TARGETS tagprobe RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(CODE "file(RENAME \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/tagprobe\"
                            \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/sortimentor-tagprobe\")")
endif()

# The manual pages and the changelog carry the project's version; Debian keeps them
# gzipped, without a time stamp.
find_program(GZIP gzip REQUIRED)
set(gzipped)
foreach(f sortimentor.1 sortimentor-tagprobe.1 changelog)
  configure_file(${deb}/${f}.in ${CMAKE_CURRENT_BINARY_DIR}/debian/${f} @ONLY)
  add_custom_command(OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/debian/${f}.gz
                     COMMAND ${GZIP} -9nc ${CMAKE_CURRENT_BINARY_DIR}/debian/${f} > ${CMAKE_CURRENT_BINARY_DIR}/debian/${f}.gz
                     DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/debian/${f} VERBATIM)
  list(APPEND gzipped ${CMAKE_CURRENT_BINARY_DIR}/debian/${f}.gz)
endforeach()
add_custom_target(debian_docs ALL DEPENDS ${gzipped})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/sortimentor.1.gz
              ${CMAKE_CURRENT_BINARY_DIR}/debian/sortimentor-tagprobe.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/debian/changelog.gz DESTINATION ${doc})
install(FILES ${deb}/copyright DESTINATION ${doc})

set(CPACK_PACKAGE_NAME sortimentor)
set(CPACK_PACKAGE_VENDOR Varnolt)
set(CPACK_PACKAGE_CONTACT "Varnolt <support@example.org>")
# The summary is the first line of the package's description, the rest follows.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "puts the MP3 files of an album into playing order")
set(CPACK_PACKAGE_DESCRIPTION
    "Sortimentor lists the MP3 files of one album folder and lets them be put into\n"
    "playing order with buttons or by dragging. It then writes artist, title,\n"
    "album, year, comment and a counted-up track number into the ID3v1 and ID3v2\n"
    "tags of every file, can give every file a name that starts with its position\n"
    "and can write an .m3u playlist. A run cut short is finished or undone on the\n"
    "next start, or from a terminal. The interface is German.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://example.org/sortimentor)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
    GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The libraries it links come from dpkg-shlibdeps; what Qt loads at run time does not:
# the German texts of its buttons and dialogs, and the SVG plugins for the icons.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n, libqt6svg6")
# Without it Qt runs through XWayland in a Wayland session.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_GENERATOR DEB)
include(CPack)
