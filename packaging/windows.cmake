# Ulo for Windows as people get it: a setup program (NSIS, through Debian's makensis) and a
# portable archive (ZIP), both made by cpack in the build folder. Both hold ulo.exe, the licence
# and a short read-me, with Windows line ends so that Notepad shows them as they are.
install(TARGETS ulo RUNTIME DESTINATION .)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt
  @ONLY NEWLINE_STYLE CRLF)
configure_file(windows/README.txt.in ${CMAKE_CURRENT_BINARY_DIR}/README.txt
  @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt ${CMAKE_CURRENT_BINARY_DIR}/README.txt
  DESTINATION .)

set(CPACK_GENERATOR NSIS ZIP)
# The texts below go into the setup script as they are written here, backslashes included.
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Ulo)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Ulo)
set(CPACK_NSIS_PACKAGE_NAME Ulo)
set(CPACK_NSIS_DISPLAY_NAME Ulo)
# A newer setup program first removes the installed version (silently too).
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
# The licence page of the setup program.
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt)
# The setup program, its uninstaller and the entry in the list of installed programs show the
# program's own icon (drawn for its resources by src/).
set(CPACK_NSIS_MUI_ICON ${PROJECT_BINARY_DIR}/src/ulo.ico)
set(CPACK_NSIS_MUI_UNIICON ${PROJECT_BINARY_DIR}/src/ulo.ico)
set(CPACK_NSIS_INSTALLED_ICON_NAME ulo.exe)
# A 64-bit program goes with a 64-bit setup program into the 64-bit Program Files; both setup
# programs are Unicode ones.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
  set(CPACK_NSIS_DEFINES "Target amd64-unicode")
else()
  set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
  set(CPACK_NSIS_DEFINES "Unicode true")
endif()
# The uninstaller removes the program's registry key but keeps the vendor's key above it, which
# would be left empty: removed once the uninstaller is done, unless something else is in it.
string(APPEND CPACK_NSIS_DEFINES "
Function un.onUninstSuccess
  DeleteRegKey /ifempty SHCTX \"Software\\${CPACK_PACKAGE_VENDOR}\"
FunctionEnd
")

# The Start-menu entry "Ulo". Ulo keeps what it learns in data.dat in its working folder, and no
# user may write in Program Files: like the Linux menu entry, which starts it in the home folder,
# the entry starts it in the profile folder of whoever starts it: through the command interpreter,
# which expands %USERPROFILE% for that user, as the setup program can give a shortcut only one
# fixed working folder for all.
set(CPACK_NSIS_CREATE_ICONS_EXTRA [[
  CreateShortCut "$SMPROGRAMS\$STARTMENU_FOLDER\Ulo.lnk" "$SYSDIR\cmd.exe" '/c cd /d "%USERPROFILE%" && "$INSTDIR\ulo.exe"' "$INSTDIR\ulo.exe" 0 SW_SHOWNORMAL "" "Talk with a small program that learns its replies from you"
]])
set(CPACK_NSIS_DELETE_ICONS_EXTRA [[
  Delete "$SMPROGRAMS\$MUI_TEMP\Ulo.lnk"
]])
