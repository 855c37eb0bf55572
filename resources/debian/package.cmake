# The Debian package (scripts/package.sh runs `cpack -G DEB` in a build configured with
# CMAKE_INSTALL_PREFIX=/usr): what `cmake --install` puts in place, plus the copyright file and the
# changelog Debian keeps beside every package's documentation. Library dependencies come from
# dpkg-shlibdeps; only what the programs load at run time without linking it is listed here.
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/tonvera)
install(FILES ${CMAKE_CURRENT_LIST_DIR}/copyright DESTINATION ${_doc})
find_program(TONVERA_GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/changelog.gz
  COMMAND ${TONVERA_GZIP} -9 -n -c ${CMAKE_CURRENT_LIST_DIR}/changelog > ${CMAKE_BINARY_DIR}/changelog.gz
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/changelog COMMENT "Compressing the changelog")
add_custom_target(tonvera_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonvera)
set(CPACK_PACKAGE_VENDOR "The Tonvera developers")
set(CPACK_PACKAGE_CONTACT "The Tonvera developers <developers@tonvera.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "internet radio player with a Chinese interface")
set(CPACK_PACKAGE_DESCRIPTION
    "Tonvera plays internet radio channels in a small window: the song, its cover\n"
    "and the lyrics line by line, channels to choose from and the songs you liked.\n"
    "Media keys and the desktop's sound menu control it.\n"
    "\n"
    "The package also holds tonvera-station, which serves a music folder (by default\n"
    "~/Music, as a systemd user service) to the player, and tonvera-cli, the\n"
    "command-line tools (a radio in the terminal among them).")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://tonvera.org/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The Chinese labels need a CJK font; TIFF pictures are written through Qt's image plug-in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk, qt6-image-formats-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_STRIP_FILES ON)
# Same bytes for the same commit: no build paths in the package, file times from
# SOURCE_DATE_EPOCH (set by scripts/package.sh).
set(CPACK_PACKAGE_CHECKSUM SHA256)
include(CPack)
