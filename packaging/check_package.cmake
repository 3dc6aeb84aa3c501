# Checks the players' zip: exactly the host's folder layout (the module, its program database where the
# compiler makes one, the settings tab, the text), the settings tab that the tests read, byte for byte, and a
# text with LF line ends that tells players what to do and what the build is.
# cmake -DARCHIVE=<zip> -DPDB=<ON|OFF> -DSETTINGS_TAB=<the build's korvindel.set>
#       [-DNOTE=<text the README must hold>] -P check_package.cmake
# cmake -DCPACK=<cpack> -DBUILD=<build folder> -DCONFIG=<configuration> -DARCHIVE=<zip's name> ... first makes
#   the zip as the package target does, in a folder of its own.
if(CPACK)
  set(out ${BUILD}/package-check)
  file(REMOVE_RECURSE ${out})
  execute_process(COMMAND ${CPACK} --config ${BUILD}/CPackConfig.cmake -C ${CONFIG} -B ${out}
    RESULT_VARIABLE failed OUTPUT_VARIABLE log ERROR_VARIABLE log)
  if(failed)
    message(FATAL_ERROR "cpack failed:\n${log}")
  endif()
  set(ARCHIVE ${out}/${ARCHIVE})
endif()
if(NOT EXISTS ${ARCHIVE})
  get_filename_component(folder ${ARCHIVE} DIRECTORY)
  file(GLOB made RELATIVE ${folder} ${folder}/*.zip)
  message(FATAL_ERROR "no ${ARCHIVE}; the folder holds: ${made}")
endif()

set(expected README.txt plugins/Korvindel.dll plugins/settings/korvindel.set)
if(PDB)
  list(APPEND expected plugins/Korvindel.pdb)
endif()
list(SORT expected)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${ARCHIVE} OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
string(REGEX REPLACE "\n$" "" listing "${listing}")
string(REPLACE "\n" ";" listing "${listing}")
# Folders are no entries of their own: the files' paths say where they go.
list(FILTER listing EXCLUDE REGEX "/$")
list(SORT listing)
if(failed OR NOT listing STREQUAL expected)
  message(FATAL_ERROR "${ARCHIVE} holds [${listing}], not [${expected}]")
endif()

get_filename_component(unpacked ${ARCHIVE}.unpacked ABSOLUTE)
file(REMOVE_RECURSE ${unpacked})
file(MAKE_DIRECTORY ${unpacked})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ARCHIVE} WORKING_DIRECTORY ${unpacked})
file(READ ${unpacked}/README.txt text)
file(SHA256 ${unpacked}/plugins/settings/korvindel.set shipped)
file(REMOVE_RECURSE ${unpacked})
file(SHA256 ${SETTINGS_TAB} tested)
if(NOT shipped STREQUAL tested)
  message(FATAL_ERROR "the zip's settings tab is not the one the tests read, ${SETTINGS_TAB}")
endif()
string(FIND "${text}" "\r" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "README.txt has carriage returns; the zip's texts have LF line ends")
endif()
foreach(needed "Open BakkesMod folder" "plugin load korvindel" "korvindel_show 1" "F2" "korvindel_textsize"
               "gh attestation verify" ${NOTE})
  string(FIND "${text}" "${needed}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "README.txt does not say '${needed}':\n${text}")
  endif()
endforeach()
message(STATUS "${ARCHIVE}: ${listing}")
