#!/bin/sh
# Installs what building and testing tqupd needs on Debian 12, when it is missing.
# Run as root it installs; run as another user it only reports what is missing.
set -eu
packages="cmake ninja-build g++ googletest libgtest-dev libcli11-dev
g++-mingw-w64-x86-64-posix wine wine64 lpc21isp clang libclang-rt-14-dev zlib1g-dev
util-linux procps strace python3
lintian dpkg-dev groff-base man-db file
clang-format clang-tidy"
missing=""
for p in $packages; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" != 0 ]; then
  echo "Missing Debian packages:$missing (run as root, or install them)" >&2
  exit 1
fi
echo "Installing:$missing"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/dev/null
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing >/dev/null
