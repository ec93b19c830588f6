# Installing Ulo the way the desktop and the command line expect it: the program in bin/, its
# manual page, the window's icon in the hicolor theme and a menu entry.
include(GNUInstallDirs)

# The manual page, with the project's version, compressed as Debian installs manual pages.
configure_file(ulo.6.in ${CMAKE_CURRENT_BINARY_DIR}/ulo.6 @ONLY)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/ulo.6.gz
  COMMAND gzip -9 -n -f -k ulo.6
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/ulo.6
  WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
  COMMENT "Compressing the manual page"
  VERBATIM
)

# The window's icon at the sizes the menus ask for, rendered from the pixels the window uses.
set(ULO_ICON_SIZES 16 32 64 128 256)
set(ULO_ICON_DIR ${CMAKE_CURRENT_BINARY_DIR}/icons)
set(ULO_ICON_FILES)
foreach(size IN LISTS ULO_ICON_SIZES)
  list(APPEND ULO_ICON_FILES ${ULO_ICON_DIR}/${size}x${size}/apps/ulo.png)
endforeach()
add_custom_command(
  OUTPUT ${ULO_ICON_FILES}
  COMMAND ulo_render_icons ${ULO_ICON_DIR} ${ULO_ICON_SIZES}
  DEPENDS ulo_render_icons
  COMMENT "Rendering the icons"
  VERBATIM
)
add_custom_target(ulo_desktop_files ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/ulo.6.gz ${ULO_ICON_FILES})

install(TARGETS ulo RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/ulo.6.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man6)
install(DIRECTORY ${ULO_ICON_DIR}/ DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
install(FILES ulo.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
