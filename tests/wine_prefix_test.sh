#!/usr/bin/env bash
# scripts/test-windows as the first command of a fresh clone: it makes its Wine prefix although the folder
# that holds it (build/) does not exist yet. Runs the script's own prefix set-up in an empty folder, for a
# prefix two folders down. Skipped (77) without Wine.
# usage: wine_prefix_test.sh SOURCE_DIR
set -uo pipefail
source_dir=$1
[ -x /usr/lib/wine/wine64 ] || exit 77
clone=$(mktemp -d)
export WINEPREFIX="$clone/build/nested/wine"
trap '/usr/lib/wine/wineserver --kill 2>/dev/null; rm -rf "$clone"' EXIT
cd "$clone" || exit 1
bash -c "source '$source_dir/scripts/lib/steps.sh' && source '$source_dir/scripts/lib/wine.sh' && make_wine_prefix"
status=$?
[ "$status" -eq 0 ] || { echo "the prefix set-up failed with status $status"; exit 1; }
[ -f "$WINEPREFIX/system.reg" ] || { echo "no prefix in $WINEPREFIX"; exit 1; }
