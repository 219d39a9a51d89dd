#!/bin/sh
# Runs one Windows program under wine (the test runner's emulator). One
# prefix and one persistent wineserver serve the whole test run, so each
# program pays only its own start-up. `--prepare` only builds the prefix.
: "${WINEPREFIX:=${XDG_CACHE_HOME:-$HOME/.cache}/farcue-wine}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No crash debugger: under emulation winedbg can hang on a crashed helper,
# and a crashed test program should simply fail.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe,winedbg.exe=d}"
mkdir -p "$WINEPREFIX"

# Start the persistent server first, so the session that building the prefix
# brings up (services, device helpers) stays up instead of starting again
# inside the first program.
wineserver -p >/dev/null 2>&1 </dev/null
(
  flock 9
  if [ ! -f "$WINEPREFIX/.prepared" ]; then
    # Under emulation some of wineboot's helpers may crash; the prefix is
    # usable once its registry exists. The helpers stay up with the server,
    # so they must not inherit the lock.
    wineboot --init >/dev/null 2>&1 </dev/null 9>&-
    # The session keeps settling for minutes after that; one throw-away
    # program waits it out here rather than in the first test.
    timeout 900 wine cmd.exe /c exit >/dev/null 2>&1 </dev/null 9>&-
    [ -f "$WINEPREFIX/system.reg" ] && touch "$WINEPREFIX/.prepared"
  fi
) 9>"$WINEPREFIX.lock"
[ "${1:-}" = "--prepare" ] && exit 0

# Helpers that wine starts from this program outlive it and inherit its
# output; on the runner's own pipe they would keep the test "running" until
# its time-out. The program writes to a file instead, followed as it grows.
log=$(mktemp "${TMPDIR:-/tmp}/wine-run.XXXXXX")
trap 'rm -f "$log"' EXIT
wine "$@" >"$log" 2>&1 &
program=$!
tail -c +1 -f --pid="$program" "$log"
wait "$program"
