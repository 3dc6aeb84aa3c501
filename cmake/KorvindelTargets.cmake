# One function per kind of the project's own target.

# korvindel_warnings(<target>): the compiler's full warning set, chosen by command-line style (MSVC: cl.exe and
# clang-cl take MSVC's; GCC and clang GNU's). Every preset makes them errors (KORVINDEL_WARNINGS_AS_ERRORS),
# with the flag each compiler understands, on the project's own code only; a plain configure, a packager's or
# a user's with a newer compiler, only warns.
# cl.exe warns at /W4 where GCC and clang do not at theirs; each class that a tool here can see is made visible
# here too, so that no Windows build is the first to meet it: clang adds its nearest counterparts of C4456 to
# C4459 (a declaration hides a local, a parameter, a member or a global), of C4702 (unreachable code) and of
# C4244 and C4267 (a conversion that may lose data: to a narrower integer, from floating point), and
# MinGW-w64 marks what the Microsoft C runtime deprecates (C4996: strerror, fopen and the like), with what its
# headers leave unmarked (sscanf, sprintf, localtime and the like) marked by a header of ours.
function(korvindel_warnings target)
  if(MSVC)
    # C4251 would flag every host class and the plugin base class: they are exported with standard-library
    # members (their implementation pointers, the base class's shared handles), as the host's own SDK does, and
    # host and plugin share one standard library.
    target_compile_options(${target} PRIVATE /W4 /permissive- /wd4251)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
      target_compile_options(${target} PRIVATE -Wshadow-all -Wunreachable-code -Wshorten-64-to-32
        -Wimplicit-int-conversion -Wimplicit-float-conversion -Wfloat-conversion)
    endif()
    if(MINGW)
      target_compile_definitions(${target} PRIVATE __MINGW_MSVC_COMPAT_WARNINGS)
      target_compile_options(${target} PRIVATE -include ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/mingw-msvc-deprecations.h)
    endif()
  endif()
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ${KORVINDEL_WARNINGS_AS_ERRORS})
endfunction()

# korvindel_library(<name> <STATIC|SHARED|OBJECT> <source>... [PUBLIC <library>...] [PRIVATE <library>...]): one of
# the project's own libraries, built with its warnings. Every header of the project is included by its path from
# the project's root, which names its layer: "common/Quote.h", "standin/host/Host.h", "sim/Session.h".
function(korvindel_library name kind)
  cmake_parse_arguments(PARSE_ARGV 2 arg "" "" "PUBLIC;PRIVATE")
  add_library(${name} ${kind} ${arg_UNPARSED_ARGUMENTS})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${arg_PUBLIC} PRIVATE ${arg_PRIVATE})
  korvindel_warnings(${name})
endfunction()

# korvindel_write_if_changed(<path> <content>): writes a file the build makes at configure time, as it is, only
# when its content changes, so that a new configure rebuilds nothing that depends on it.
function(korvindel_write_if_changed path content)
  file(WRITE ${path}.new "${content}")
  file(COPY_FILE ${path}.new ${path} ONLY_IF_DIFFERENT)
  file(REMOVE ${path}.new)
endfunction()

# korvindel_plugin_module(<name> SOURCES <source>... [LIBRARIES <library>...] [DEFINITIONS <definition>...]):
# a plugin module as the host loads one (<name>.so or <name>.dll): hidden symbols but what it marks for export,
# its base class's members defined and exported by itself, and unmapped when the host closes it.
function(korvindel_plugin_module name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;LIBRARIES;DEFINITIONS")
  add_library(${name} MODULE ${arg_SOURCES})
  set_target_properties(${name} PROPERTIES PREFIX "" CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_compile_definitions(${name} PRIVATE PLUGIN_MODULE_BUILD ${arg_DEFINITIONS})
  target_link_libraries(${name} PRIVATE ${arg_LIBRARIES})
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    # GNU unique symbols would keep the module mapped after the host closes it.
    target_compile_options(${name} PRIVATE -fno-gnu-unique)
  endif()
  if(KORVINDEL_SANITIZERS MATCHES "undefined")
    # The plugin base class's type information lives in the module, where dynamic types can be checked.
    target_compile_options(${name} PRIVATE -fsanitize=vptr)
  endif()
  korvindel_warnings(${name})
endfunction()
