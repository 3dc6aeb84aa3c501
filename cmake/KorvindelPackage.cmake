# The zip a player downloads, laid out as the host's own folder (%APPDATA%\bakkesmod\bakkesmod), so that each
# file lands where the host reads it once the zip is unpacked there: the module and its program database (where
# the compiler made one) in plugins/, the settings tab in plugins/settings/, and a short text on installing
# and using it at the top. `cmake --build <build folder> --target package` makes it.
if(NOT MSVC)
  # Only Visual Studio's C++ ABI is the host's. The MinGW build's zip exists so that the Linux suite checks the
  # zip's layout and text too; its module is linked against the stand-in host itself.
  set(KORVINDEL_PACKAGE_NOTE " - TEST BUILD, NOT FOR PLAYERS: it is linked against this project's stand-in \
host, not the game's,
and built with MinGW, whose C++ ABI is not the host's.
Players take the ${PROJECT_NAME}-${PROJECT_VERSION}-win64.zip release instead.")
  set(suffix "-mingw-test-build")
else()
  set(KORVINDEL_PACKAGE_NOTE "")
  set(suffix "")
endif()
# LF line ends, as the settings tab has: Notepad shows them since Windows 10's 2018 update.
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY
  NEWLINE_STYLE UNIX)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
install(TARGETS Korvindel LIBRARY DESTINATION plugins)
if(MSVC)
  install(FILES $<TARGET_PDB_FILE:Korvindel> DESTINATION plugins OPTIONAL)
endif()
install(FILES ${KORVINDEL_SETTINGS_TAB} DESTINATION plugins/settings)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${PROJECT_NAME})
set(KORVINDEL_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-win64${suffix}")
set(CPACK_PACKAGE_FILE_NAME ${KORVINDEL_PACKAGE_FILE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
