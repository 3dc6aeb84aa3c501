# Each target of ours gets its compiler's full warning set by command-line style (cl.exe and clang-cl take
# MSVC's, GCC and clang GNU's). Every preset makes them errors (KORVINDEL_WARNINGS_AS_ERRORS), with the flag
# each compiler understands, on the project's own code only; a plain configure, a packager's or a user's with
# a newer compiler, only warns.
function(korvindel_warnings target)
  if(CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
    # C4251 would flag every host class and the plugin base class: they are exported with standard-library
    # members (their implementation pointers, the base class's shared handles), as the host's own SDK does, and
    # host and plugin share one standard library.
    target_compile_options(${target} PRIVATE /W4 /permissive- /wd4251)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ${KORVINDEL_WARNINGS_AS_ERRORS})
endfunction()
