#!/usr/bin/env bash
# Without root or sudo, a missing package gets the command that installs it and exit status 1, not a failed
# install. Runs the install helper as an unprivileged user; skipped (77) where it cannot switch to one.
set -uo pipefail
if [ "$(id -u)" -ne 0 ]; then
  echo "Not run here: switching to an unprivileged user needs root"
  exit 77
fi
# A copy the unprivileged user can read wherever the checkout lives.
helper=$(mktemp)
trap 'rm -f "$helper"' EXIT
cp "$1/scripts/lib/packages.sh" "$helper"
chmod 644 "$helper"
output=$(cd / && setpriv --reuid=nobody --regid=nogroup --clear-groups --reset-env \
  bash -c "source '$helper' && ensure_packages korvindel-no-such-package" 2>&1 </dev/null)
status=$?
echo "$output"
[ "$status" -eq 1 ] || { echo "exit status $status, expected 1"; exit 1; }
grep -q 'apt-get install -y --no-install-recommends korvindel-no-such-package' <<<"$output" || exit 1
! grep -q '^Installing' <<<"$output" || { echo "claims to install"; exit 1; }
