#!/usr/bin/env bash
# Median wall time of `farcuesend NAME s` against a channel that exists,
# beside /bin/true (the cost of starting any program) measured in the same
# run. Goal: farcuesend within 1.2x of /bin/true.
#
#   bench/farcuesend_bench.sh [build-dir] [runs]
#
# build-dir defaults to build/release (an optimised build without
# sanitizers: their start-up cost would swamp the figure). The channel is
# held for the whole run by the channel tests' peer program.
set -euo pipefail

build=${1:-build/release}
runs=${2:-500}
tool=$build/bin/farcuesend
peer=$build/bin/channel_peer
for program in "$tool" "$peer"; do
  if [ ! -x "$program" ]; then
    echo "missing $program: build farcuesend and channel_peer in $build first" >&2
    exit 1
  fi
done

name="FARCUESEND_BENCH_$$"
# The peer takes whole object names, prefix included.
hex=$(printf %s "WL_FARCUE_IN_$name" | od -An -tx1 | tr -d ' \n')
coproc PEER { "$peer"; }
echo "1 create 0 x$hex" >&"${PEER[1]}"
read -r reply <&"${PEER[0]}"
case $reply in
  ok*) ;;
  *) echo "the peer could not create the channel: $reply" >&2; exit 1 ;;
esac
# Leave the peer with a quit even when a step below fails.
trap 'echo "2 quit" >&"${PEER[1]}" 2>/dev/null || true; wait "$PEER_PID" 2>/dev/null || true' EXIT

# The tool must really set the channel, or the figure means nothing.
"$tool" "$name" s
echo "3 test 0" >&"${PEER[1]}"
read -r reply <&"${PEER[0]}"
echo "channel after one run: $reply"

median_ms() { # reads one figure per line, prints the median in ms
  sort -g | awk '{ v[NR] = $1 } END {
    m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f", m * 1000 }'
}

rounds=10
per_round=$(( (runs + rounds - 1) / rounds ))
if command -v hyperfine >/dev/null 2>&1; then
  # Rounds that take turns, so a change of load on this shared machine hits
  # both programs alike; the medians are over every single run.
  dir=$(mktemp -d)
  for ((r = 0; r < rounds; r++)); do
    hyperfine -N --style none --warmup 5 --runs "$per_round" --export-json "$dir/$r.json" \
      -n true /bin/true -n farcuesend "$tool $name s" >/dev/null 2>&1
  done
  read -r true_ms tool_ms < <(python3 - "$dir" <<'PY'
import glob, json, statistics, sys
times = [[], []]
for path in glob.glob(sys.argv[1] + "/*.json"):
    for i, result in enumerate(json.load(open(path))["results"]):
        times[i] += result["times"]
print(" ".join("%.3f" % (statistics.median(t) * 1000) for t in times))
PY
)
  rm -rf "$dir"
  how="hyperfine, $rounds rounds of $per_round runs each"
else
  # A plain loop, the two programs taking turns.
  t_true=() t_tool=()
  for ((i = 0; i < rounds * per_round; i++)); do
    a=$EPOCHREALTIME; /bin/true; b=$EPOCHREALTIME
    "$tool" "$name" s; c=$EPOCHREALTIME
    t_true+=("$(awk -v x="$a" -v y="$b" 'BEGIN { print y - x }')")
    t_tool+=("$(awk -v x="$b" -v y="$c" 'BEGIN { print y - x }')")
  done
  true_ms=$(printf '%s\n' "${t_true[@]}" | median_ms)
  tool_ms=$(printf '%s\n' "${t_tool[@]}" | median_ms)
  how="shell loop, $((rounds * per_round)) runs each, taking turns"
fi

ratio=$(awk -v a="$tool_ms" -v b="$true_ms" 'BEGIN { printf "%.2f", a / b }')
echo "median wall time ($how):"
echo "  /bin/true          $true_ms ms"
echo "  farcuesend NAME s  $tool_ms ms"
echo "  ratio              ${ratio}x (goal: at most 1.20x)"
