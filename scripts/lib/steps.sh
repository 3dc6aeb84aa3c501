# Sourced by setup.sh, from the checkout's top folder: no step ends a script without a word.
# A command that fails names itself, its line (and the file, where that is a sourced one) and its status; a step
# whose output is kept aside in a log names the step and the log.
set -Eeuo pipefail
script_name=$(basename "$0")
trap 'status=$? where="line $LINENO"
  [ "${BASH_SOURCE[0]}" = "$0" ] || where+=" of ${BASH_SOURCE[0]}"
  echo "$script_name: stopped at $where: $BASH_COMMAND (status $status)" >&2' ERR

# quietly NAME COMMAND...: runs a step with its output in build/logs/NAME.log instead of on the screen.
quietly() {
  local name=$1
  shift
  mkdir -p build/logs
  local log="$PWD/build/logs/$name.log"
  if ! "$@" >"$log" 2>&1; then
    echo "$script_name: the step '$name' failed; its output is in $log" >&2
    exit 1
  fi
}

# step COMMAND...: a main step, named before it runs; when it fails, it is named again as it ran, with what
# its status means where that is known, and the script ends with that status.
step() {
  echo "== $script_name: $*"
  local status=0
  "$@" || status=$?
  if [ "$status" -ne 0 ]; then
    local meaning=""
    # cmake --workflow passes on the status of the step that failed; ctest's 8 is a failed test.
    if [ "$status" -eq 8 ] && [[ "$*" == cmake\ --workflow* || "$1" == ctest ]]; then
      meaning=": a test failed (the list of failed tests is above)"
    fi
    echo "$script_name: the step '$*' failed with status $status$meaning" >&2
    exit "$status"
  fi
}

# list_not_run BUILD_DIR: what the last test run of the build left out, and why (korvindel_not_here).
list_not_run() {
  local left_out
  # A test's heading may follow, on the same line, what a module under test wrote to a descriptor it found.
  left_out=$(awk 'match($0, /[0-9]+\/[0-9]+ Testing: [^ ]+/) { test = substr($0, RSTART, RLENGTH); sub(/.* /, "", test) }
                  /^Not run here: / { sub(/^Not run here: /, ""); print "  " test ": " $0 }' \
    "$1/Testing/Temporary/LastTest.log" | sort)
  echo "Not run in this build, and why:"
  echo "${left_out:-  nothing: every test ran}"
}
