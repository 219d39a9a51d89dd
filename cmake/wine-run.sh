#!/bin/sh
# Runs one Windows test program under wine. One prefix and one persistent
# wineserver serve the whole test run, so each program pays only its own
# start-up. Crash dialogs and debugger prompts are switched off.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/farcue-wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=d}"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot --init >/dev/null 2>&1
fi
wineserver -p >/dev/null 2>&1
exec wine "$@"
