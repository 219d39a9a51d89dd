#!/bin/sh
# Configures, builds and runs every test on the three targets: native Linux
# (with sanitizers), 32-bit Linux and 32-bit Windows under wine.
set -eu
cd "$(dirname "$0")/.."
sh scripts/setup.sh

# Wine's first start builds its prefix, which takes minutes under emulation:
# start it now, while the Linux targets build and test.
sh cmake/wine-run.sh --prepare >/dev/null 2>&1 &
wine_prepare=$!

status=0
for preset in dev linux32; do
  cmake --workflow --preset "$preset" --fresh || status=1
done
wait "$wine_prepare" || true
cmake --workflow --preset win32 --fresh || status=1

[ "$status" = 0 ] && echo "all three targets passed" || echo "some target failed" >&2
exit "$status"
