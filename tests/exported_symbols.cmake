# Checks that a plugin module exports exactly the symbols the host needs.
# cmake -DNM=<nm> -DMODULE=<Korvindel.so> -P exported_symbols.cmake        (ELF: dynamic symbol table)
# cmake -DOBJDUMP=<objdump> -DMODULE=<Korvindel.dll> -P exported_symbols.cmake  (PE: export directory)
set(expected
  _ZN9BakkesMod6Plugin15BakkesModPlugin6onLoadEv
  _ZN9BakkesMod6Plugin15BakkesModPlugin8onUnloadEv
  _ZN9BakkesMod6Plugin15BakkesModPluginC1EOS1_
  _ZN9BakkesMod6Plugin15BakkesModPluginC1ERKS1_
  _ZN9BakkesMod6Plugin15BakkesModPluginC1Ev
  _ZN9BakkesMod6Plugin15BakkesModPluginC2EOS1_
  _ZN9BakkesMod6Plugin15BakkesModPluginC2ERKS1_
  _ZN9BakkesMod6Plugin15BakkesModPluginC2Ev
  _ZN9BakkesMod6Plugin15BakkesModPluginD1Ev
  _ZN9BakkesMod6Plugin15BakkesModPluginD2Ev
  _ZN9BakkesMod6Plugin15BakkesModPluginaSEOS1_
  _ZN9BakkesMod6Plugin15BakkesModPluginaSERKS1_
  _ZTVN9BakkesMod6Plugin15BakkesModPluginE
  deleteMe
  exports
  getPlugin)

if(OBJDUMP)
  # GCC's PE export of a polymorphic class carries its type information too.
  list(APPEND expected _ZTIN9BakkesMod6Plugin15BakkesModPluginE)
  execute_process(COMMAND ${OBJDUMP} -p ${MODULE} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${MODULE}")
  endif()
  if(NOT listing MATCHES "\nName [^\n]* Korvindel\\.dll\n")
    message(FATAL_ERROR "the export directory does not name the module Korvindel.dll")
  endif()
  string(REGEX MATCH "DLL Name: (libstdc\\+\\+|libgcc|libwinpthread)[^\n]*" runtime "${listing}")
  if(runtime)
    message(FATAL_ERROR "the module needs a MinGW runtime DLL at run time: ${runtime}")
  endif()
  # Rows of the name pointer table read "[ordinal] name".
  string(FIND "${listing}" "[Ordinal/Name Pointer] Table" start)
  string(SUBSTRING "${listing}" ${start} -1 listing)
  string(REGEX MATCHALL "\n\t\\[ *[0-9]+\\] [^\n]+" rows "${listing}")
  set(actual)
  foreach(row IN LISTS rows)
    string(REGEX REPLACE "^\n\t\\[ *[0-9]+\\] " "" name "${row}")
    list(APPEND actual ${name})
  endforeach()
else()
  execute_process(COMMAND ${NM} -D --defined-only ${MODULE} OUTPUT_VARIABLE listing RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${MODULE}")
  endif()
  string(REGEX REPLACE "[0-9a-f]+ [A-Za-z] ([^\n]+)" "\\1" listing "${listing}")
  string(STRIP "${listing}" listing)
  string(REPLACE "\n" ";" actual "${listing}")
endif()
list(SORT actual)
list(SORT expected)
if(NOT actual STREQUAL expected)
  set(extra ${actual})
  list(REMOVE_ITEM extra ${expected})
  set(missing ${expected})
  list(REMOVE_ITEM missing ${actual})
  message(FATAL_ERROR "exported symbols differ\n  not expected: ${extra}\n  missing: ${missing}")
endif()
message(STATUS "${MODULE} exports exactly the expected symbols")
