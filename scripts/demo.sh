#!/bin/sh
# The main job, end to end: a script drives a signal inside a running host.
# Builds wlhost, farcuein.wlm and farcuesend natively into build/demo, then
# runs one Farcue In instance in real time twice: Pulsed, where each
# `farcuesend NAME s` gives a pulse, and Continuous, where
# `farcuesend NAME s d500 r` holds the output high for half a second. The
# host's output lines show the changes with their times; each run leaves a
# WAV file and a PNG plot of the output.
set -eu
cd "$(dirname "$0")/.."

# What the demo build needs: the compiler and CMake, GoogleTest (the build
# configures the tests too), libsndfile for --wav and gnuplot for --plot.
packages="cmake make g++ pkg-config libgtest-dev libsndfile1-dev gnuplot-nox"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$missing" >&2
    echo "run as root: apt-get update && apt-get install -y --no-install-recommends$missing" >&2
    exit 1
  fi
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

build=build/demo
echo "== building into $build"
mkdir -p "$build"
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release >"$build/configure.log" 2>&1 ||
  { cat "$build/configure.log" >&2; exit 1; }
cmake --build "$build" -j2 --target wlhost farcuein farcuesend >"$build/build.log" 2>&1 ||
  { tail -40 "$build/build.log" >&2; exit 1; }
bin=$(pwd)/$build/bin
out=$(pwd)/$build/output
mkdir -p "$out"

# A name of this run only, so other instances and demos are not disturbed.
name="demo_$$"
host_pid=""
trap '[ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null; true' EXIT INT TERM

# Waits until the host has printed its first output line: by then the
# instance has joined the channel, so farcuesend can open it.
wait_for_host() {
  i=0
  until grep -q "Output" "$1" 2>/dev/null; do
    i=$((i + 1))
    if [ "$i" -gt 100 ]; then
      echo "the host printed nothing within 10 s" >&2
      exit 1
    fi
    sleep 0.1
  done
}

# run_host LABEL SECONDS EXTRA-PIN...: starts the host in the background.
run_host() {
  label=$1 seconds=$2
  shift 2
  log="$out/$label.txt"
  "$bin/wlhost" run "$bin/farcuein.wlm" --realtime --seconds "$seconds" \
    --pin "Event Name=$name" --pin "Check Delay=0.005" --pin "Pulse Width=0.25" "$@" \
    --wav "$out/$label.wav" --plot "$out/$label.png" >"$log" 2>"$out/$label.err" &
  host_pid=$!
  wait_for_host "$log"
}

finish_host() {
  wait "$host_pid" || { cat "$out/$1.err" >&2; exit 1; }
  host_pid=""
  echo "-- host output (time from the start of the run, pin, old -> new value):"
  sed 's/^/   /' "$out/$1.txt"
  grep -q " 0 -> 5$" "$out/$1.txt" || { echo "no rise to High Value was seen" >&2; exit 1; }
}

echo
echo "== Pulsed: wlhost run farcuein.wlm --realtime --pin \"Event Name=$name\" ..."
run_host pulsed 3
sleep 0.5
echo "   farcuesend $name s"
"$bin/farcuesend" "$name" s
sleep 1
echo "   farcuesend $name s"
"$bin/farcuesend" "$name" s
finish_host pulsed

echo
echo "== Continuous: the same with --pin Mode=Continuous"
run_host continuous 2.5 --pin "Mode=Continuous"
sleep 0.5
echo "   farcuesend $name s d500 r"
"$bin/farcuesend" "$name" s d500 r
finish_host continuous

echo
echo "== files left by the demo"
for f in pulsed.wav pulsed.png continuous.wav continuous.png; do
  echo "   $out/$f"
done
