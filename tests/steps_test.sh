#!/usr/bin/env bash
# Every script's steps stop it with a word: a failing command names itself and its line, a failing step
# whose output is kept aside names the step and its log, and a failing main step names itself as it ran and
# what its status means.
# usage: steps_test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
failed=0
# script | what it must say when it stops
cases=(
  "quietly configure sh -c 'echo the compiler is missing; exit 3'; echo went on|the step 'configure' failed; its output is in $folder/build/logs/configure.log"
  "false; echo went on|step-script: stopped at line 2: false (status 1)"
  "quiet=\$(false); echo went on|step-script: stopped at line 2: quiet=\$(false) (status 1)"
  "source ./sourced.sh; echo went on|step-script: stopped at line 2 of ./sourced.sh: false (status 1)"
  "preset=linux; ctest() { return 8; }; step ctest --preset \"\$preset\"; echo went on|step-script: the step 'ctest --preset linux' failed with status 8: a test failed"
  "step sh -c 'exit 3'; echo went on|step-script: the step 'sh -c exit 3' failed with status 3"
)
printf '\nfalse\n' >sourced.sh
for row in "${cases[@]}"; do
  body=${row%%|*}
  expected=${row#*|}
  printf 'source %q\n%s\n' "$source_dir/scripts/lib/steps.sh" "$body" >step-script
  output=$(bash step-script 2>&1)
  status=$?
  if [ "$status" -ne 0 ] && grep -qF -- "$expected" <<<"$output" && ! grep -q "went on" <<<"$output"; then
    echo "stops with a word: $body"
  else
    echo "FAIL: '$body' (status $status) did not stop saying: $expected"
    echo "$output" | sed 's/^/    /'
    failed=1
  fi
done
grep -q "the compiler is missing" "$folder/build/logs/configure.log" || { echo "FAIL: the log lost the step's output"; failed=1; }
exit "$failed"
