#!/bin/sh
# Runs one Windows program under wine (the test runner's emulator). One
# prefix and one persistent wineserver serve the whole test run, so each
# program pays only its own start-up. `--prepare` only builds the prefix.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/farcue-wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=d}"
mkdir -p "$WINEPREFIX"
(
  flock 9
  if [ ! -f "$WINEPREFIX/.prepared" ]; then
    # Under emulation some of wineboot's helpers may crash; the prefix is
    # usable once its registry exists.
    wineboot --init >/dev/null 2>&1
    [ -f "$WINEPREFIX/system.reg" ] && touch "$WINEPREFIX/.prepared"
  fi
) 9>"$WINEPREFIX.lock"
wineserver -p >/dev/null 2>&1
[ "${1:-}" = "--prepare" ] && exit 0
exec wine "$@"
