# Sourced by test-windows: a Wine prefix of the project's own, so that a run needs nothing from the user's
# home. It is made once, in WINEPREFIX (its folder made too, on a fresh clone), and kept.
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wine}" WINEDEBUG=-all
wineserver=/usr/lib/wine/wineserver

make_wine_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return 0
  echo "Creating the Wine prefix in $WINEPREFIX" >&2
  mkdir -p "$(dirname "$WINEPREFIX")"
  quietly wine-prefix /usr/lib/wine/wine64 wineboot --init
  # The prefix is complete once its server has saved it and gone.
  quietly wine-prefix-saved "$wineserver" --wait
}
