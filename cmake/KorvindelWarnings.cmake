# Warnings are errors on the project's own code, and only there: each target of ours gets its compiler's full
# warning set by command-line style (cl.exe and clang-cl take MSVC's, GCC and clang GNU's), and CMake's own
# switch turns them into errors, with the flag each compiler understands.
function(korvindel_warnings target)
  if(CMAKE_CXX_COMPILER_FRONTEND_VARIANT STREQUAL "MSVC")
    # C4251 would flag every host class and the plugin base class: they are exported with standard-library
    # members (their implementation pointers, the base class's shared handles), as the host's own SDK does, and
    # host and plugin share one standard library.
    target_compile_options(${target} PRIVATE /W4 /permissive- /wd4251)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  endif()
  set_target_properties(${target} PROPERTIES COMPILE_WARNING_AS_ERROR ON)
endfunction()
