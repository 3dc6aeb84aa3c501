# Fails when a C++ source of the project differs from what .clang-format makes of it.
# cmake -DCLANG_FORMAT=<clang-format> -DROOT=<source dir> -P format_check.cmake
file(GLOB_RECURSE sources RELATIVE ${ROOT}
  ${ROOT}/src/*.cpp ${ROOT}/src/*.h ${ROOT}/standin/*.cpp ${ROOT}/standin/*.h ${ROOT}/sim/*.cpp ${ROOT}/sim/*.h
  ${ROOT}/tests/*.cpp ${ROOT}/tests/*.h ${ROOT}/bench/*.cpp ${ROOT}/fuzz/*.cpp)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${sources}
  WORKING_DIRECTORY ${ROOT} RESULT_VARIABLE status ERROR_VARIABLE complaints)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "run clang-format -i on these:\n${complaints}")
endif()
