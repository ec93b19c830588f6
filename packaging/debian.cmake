# The Debian package: cpack -G DEB in the build folder (or cmake --workflow --preset package).
set(ULO_PACKAGE_MAINTAINER "Ulo developers <ulo@example.invalid>"
  CACHE STRING "The Maintainer field of the Debian package")

# The copyright file in Debian's machine-readable format, its licence text taken from LICENSE
# (the paragraph that begins "Permission", each line indented, empty lines as " ."), and the
# package's changelog, compressed as Debian keeps them.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/LICENSE)
file(READ ${PROJECT_SOURCE_DIR}/LICENSE ulo_licence)
string(FIND "${ulo_licence}" "Permission is hereby granted" ulo_licence_start)
if(ulo_licence_start LESS 0)
  message(FATAL_ERROR "LICENSE holds no MIT licence text")
endif()
string(SUBSTRING "${ulo_licence}" ${ulo_licence_start} -1 ulo_licence)
string(STRIP "${ulo_licence}" ulo_licence)
string(REPLACE "\n\n" "\n.\n" ulo_licence "${ulo_licence}")
string(REPLACE "\n" "\n " ULO_LICENCE_PARAGRAPHS " ${ulo_licence}")
configure_file(debian/copyright.in ${CMAKE_CURRENT_BINARY_DIR}/copyright @ONLY)
configure_file(debian/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND gzip -9 -n -f -k changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  COMMENT "Compressing the changelog"
  VERBATIM
)
add_custom_target(ulo_debian_files ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_CONTACT ${ULO_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Not "games": that section is for programs installed in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the shared libraries the program is linked with, as dpkg-shlibdeps finds them. SDL2 is
# loaded only when a window is to be opened, so it is a recommendation.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "libsdl2-2.0-0")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
