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
