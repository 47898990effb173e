#!/bin/sh
# Installs what building and testing tqupd needs on Debian 12, when it is missing.
# Run as root it installs, and fetches the kernel of the tests through real drivers; run
# as another user it only reports what is missing.
set -eu
packages="cmake ninja-build g++ googletest libgtest-dev libcli11-dev
g++-mingw-w64-x86-64-posix wine wine64 lpc21isp clang libclang-rt-14-dev zlib1g-dev
util-linux procps strace python3
lintian dpkg-dev groff-base man-db file
clang-format clang-tidy ccache
qemu-system-x86 busybox-static xz-utils"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
# The tests through real serial drivers boot Debian's own kernel in QEMU: its package is
# fetched (never installed) into a cache that every build of every clone shares, and
# unpacked there once (scripts/realdriver-kernel.sh).
guest_cache="${TQUPD_GUEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tqupd-guest}"
kernel_ready() { ls "$guest_cache"/linux-image-*/done >/dev/null 2>&1; }
[ -z "$missing" ] && kernel_ready && exit 0
if [ "$(id -u)" != 0 ]; then
  # Without root the kernel comes when those tests first build their guest.
  [ -z "$missing" ] && exit 0
  echo "Missing Debian packages:$missing (run as root, or install them)" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  # shellcheck disable=SC2086
  apt-get install -y -q --no-install-recommends $missing >/dev/null
fi
kernel_ready || "$(dirname "$0")/realdriver-kernel.sh" "$guest_cache" >/dev/null
