#!/usr/bin/env bash
# Warnings are errors in every preset and only warnings in a plain configure: the same tree, with a warning
# injected into every source (an unused variable), must fail to build through a preset and build without one.
# usage: warnings_test.sh SOURCE_DIR PRESET
set -uo pipefail
source_dir=$1 preset=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo 'static int korvindel_injected_warning;' >"$work/warning.h"
flags="-DCMAKE_CXX_FLAGS=-include $work/warning.h"
# The layout check is one small source that every configuration builds.
target=korvindel-host-layout
failed=0

if cmake --preset "$preset" -S "$source_dir" -B "$work/preset" "$flags" >"$work/log" 2>&1 &&
  ! cmake --build "$work/preset" --target "$target" >"$work/log" 2>&1 &&
  grep -q "korvindel_injected_warning" "$work/log"; then
  echo "the $preset preset stops at the injected warning"
else
  echo "FAIL: the $preset preset did not stop at the injected warning:"
  sed 's/^/    /' "$work/log"
  failed=1
fi

# Ninja, the one build tool the set-up installs.
if cmake -G Ninja -S "$source_dir" -B "$work/plain" "$flags" >"$work/log" 2>&1 &&
  cmake --build "$work/plain" --target "$target" >"$work/log" 2>&1 && grep -q "warning:" "$work/log"; then
  echo "a plain configure builds and warns"
else
  echo "FAIL: a plain configure did not build with a warning:"
  sed 's/^/    /' "$work/log"
  failed=1
fi
exit "$failed"
