#!/bin/sh
# Installs what the three builds and their tests need on a fresh Debian 12
# machine, and makes 32-bit x86 programs runnable. Run as root, or it prints
# the commands to run. Safe to run again.
set -eu

packages="cmake g++ g++-multilib g++-mingw-w64-i686 googletest libgtest-dev libbenchmark-dev
wine wine32 qemu-user-static libsndfile1-dev pkg-config gnuplot-nox hyperfine binutils"

missing=""
for p in $packages; do
  case $p in wine32) q=wine32:i386 ;; *) q=$p ;; esac
  dpkg-query -W -f='${Status}' "$q" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done

if [ -n "$missing" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$missing" >&2
    echo "run as root: dpkg --add-architecture i386 && apt-get update && apt-get install -y$missing" >&2
    exit 1
  fi
  dpkg --add-architecture i386
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends $missing
fi

# Some kernels (this one among them) cannot start 32-bit x86 programs. Then
# binfmt_misc hands them to qemu's user-mode emulator, which the 32-bit Linux
# tests and wine both rely on.
probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'int main(void){return 0;}\n' > "$probe_dir/p.c"
gcc -m32 "$probe_dir/p.c" -o "$probe_dir/p32"
if ! "$probe_dir/p32" 2>/dev/null; then
  if [ "$(id -u)" != 0 ]; then
    echo "32-bit programs cannot run here; as root, register qemu-i386 with binfmt_misc (scripts/setup.sh)" >&2
    exit 1
  fi
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc
  [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
    > /proc/sys/fs/binfmt_misc/register
  "$probe_dir/p32" || { echo "32-bit programs still cannot run" >&2; exit 1; }
fi
