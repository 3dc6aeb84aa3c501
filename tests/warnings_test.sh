#!/usr/bin/env bash
# Warnings are errors in every preset and only warnings in a plain configure: the same tree, with a warning
# injected in a source (an unused variable), must fail to build through a preset and build without one.
# The clang and mingw presets also stop at each class of warning that only cl.exe gives at /W4 among
# Visual Studio's compilers, which they stand in for here: one injected instance each.
# usage: warnings_test.sh SOURCE_DIR PRESET
set -uo pipefail
source_dir=$1 preset=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The layout check is a small target that every configuration builds; each case is a source added to it, a
# file of its own, since clang leaves unreachable code in included files unreported.
target=korvindel-host-layout
echo "cmake_language(DEFER DIRECTORY \${CMAKE_SOURCE_DIR} CALL target_sources $target PRIVATE $work/injected.cpp)" \
  >"$work/inject.cmake"
flags="-DCMAKE_PROJECT_INCLUDE=$work/inject.cmake"

# What each case injects, and the words of the compiler's error that name its class.
declare -A code words
code[unused]='static int korvindel_injected_warning;'
words[unused]='korvindel_injected_warning'
code[C4456]='inline int korvindel_c4456() { int value = 1; { int value = 2; return value; } }'
words[C4456]='declaration shadows a local variable'
code[C4457]='inline int korvindel_c4457(int value) { return [](int value) { return value; }(value); }'
words[C4457]='declaration shadows a local variable'
code[C4458]='struct KorvindelC4458 { int value = 0; int get() { int value = 1; return value; } };'
words[C4458]='declaration shadows a field'
code[C4459]='inline int korvindel_global = 0; inline int korvindel_c4459() { int korvindel_global = 1; return korvindel_global; }'
words[C4459]='declaration shadows a variable in the global namespace'
code[C4702]='void korvindel_skip(); inline void korvindel_c4702() { return korvindel_skip(); korvindel_skip(); }'
words[C4702]='code will never be executed'
code[C4244]='inline int korvindel_c4244(double value) { return value; }'
words[C4244]='implicit conversion turns floating-point number into integer'
code[C4267]='#include <cstddef>
inline int korvindel_c4267(std::size_t size) { return size; }'
words[C4267]='implicit conversion loses integer precision'
code[C4996/strerror]='#include <cstring>
inline const char* korvindel_c4996() { return std::strerror(0); }'
words[C4996/strerror]='is deprecated'
code[C4996/sscanf]='#include <cstdio>
inline int korvindel_c4996(float& value) { return std::sscanf("1", "%f", &value); }'
words[C4996/sscanf]='is deprecated'

case "$preset" in
  linux) cases=(unused) ;;
  clang) cases=(C4456 C4457 C4458 C4459 C4702 C4244 C4267) ;;
  mingw) cases=(C4996/strerror C4996/sscanf) ;;
  *)
    echo "FAIL: no cases for the preset $preset"
    exit 1
    ;;
esac

failed=0
: >"$work/injected.cpp"
if ! cmake --preset "$preset" -S "$source_dir" -B "$work/preset" "$flags" >"$work/log" 2>&1 ||
  ! cmake --build "$work/preset" --target "$target" >"$work/log" 2>&1; then
  echo "FAIL: the $preset preset does not build without an injected warning:"
  sed 's/^/    /' "$work/log"
  exit 1
fi
for name in "${cases[@]}"; do
  printf '%s\n' "${code[$name]}" >"$work/injected.cpp"
  if ! cmake --build "$work/preset" --target "$target" >"$work/log" 2>&1 && grep -q "error: .*${words[$name]}" "$work/log"; then
    echo "the $preset preset stops at an injected $name"
  else
    echo "FAIL: the $preset preset did not stop at an injected $name (${words[$name]}):"
    sed 's/^/    /' "$work/log"
    failed=1
  fi
done

if [ "$preset" = linux ]; then
  printf '%s\n' "${code[unused]}" >"$work/injected.cpp"
  # Ninja, the one build tool the set-up installs.
  if cmake -G Ninja -S "$source_dir" -B "$work/plain" "$flags" >"$work/log" 2>&1 &&
    cmake --build "$work/plain" --target "$target" >"$work/log" 2>&1 && grep -q "warning:" "$work/log"; then
    echo "a plain configure builds and warns"
  else
    echo "FAIL: a plain configure did not build with a warning:"
    sed 's/^/    /' "$work/log"
    failed=1
  fi
fi
exit "$failed"
