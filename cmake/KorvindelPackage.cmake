# The zip a player downloads, laid out as the host's own folder (%APPDATA%\bakkesmod\bakkesmod), so that each
# file lands where the host reads it once the zip is unpacked there: the module and its program database (where
# the compiler made one) in plugins/, the settings tab in plugins/settings/, and a short text on installing
# and using it at the top. `cmake --build <build folder> --target package` makes it.
if(KORVINDEL_STANDIN)
  # Linked against the stand-in host: good for running the suite on Windows, not for the game.
  set(why "it is linked against this project's stand-in host, not the game's")
  set(suffix "-test-build")
  if(MINGW)
    string(APPEND why ",\nand built with MinGW, whose C++ ABI is not the host's")
    set(suffix "-mingw-test-build")
  endif()
  set(KORVINDEL_PACKAGE_NOTE " - TEST BUILD, NOT FOR PLAYERS: ${why}.
Players take the ${PROJECT_NAME}-${PROJECT_VERSION}-win64.zip release instead.")
else()
  set(KORVINDEL_PACKAGE_NOTE "")
  set(suffix "")
endif()
configure_file(${PROJECT_SOURCE_DIR}/packaging/README.txt.in ${CMAKE_CURRENT_BINARY_DIR}/README.txt @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)
install(TARGETS Korvindel LIBRARY DESTINATION plugins)
if(MSVC)
  install(FILES $<TARGET_PDB_FILE:Korvindel> DESTINATION plugins OPTIONAL)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/korvindel.set DESTINATION plugins/settings)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR ${PROJECT_NAME})
set(KORVINDEL_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-win64${suffix}")
set(CPACK_PACKAGE_FILE_NAME ${KORVINDEL_PACKAGE_FILE_NAME})
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
