#!/bin/sh
# Builds the small Linux guest in which tqupd runs through real serial drivers: Debian's
# own kernel (its FTDI USB serial driver and its 8250 UART driver) and an initramfs of
# busybox, tqupd with its shared libraries, and the kernel modules the USB adapter and
# the guest's control lines need. Nothing is built from kernel sources and nothing is
# downloaded but Debian's kernel package (apt-get download, never installed).
#
#   scripts/realdriver-guest.sh OUT_DIR TQUPD
#
# OUT_DIR receives vmlinux (the kernel, unpacked) and initramfs.cpio. The kernel package
# is kept in $TQUPD_GUEST_CACHE (default ~/.cache/tqupd-guest) with the few files taken
# from it (scripts/realdriver-kernel.sh), so every later build, of any clone, only packs
# the initramfs again.
# Exit status 77 (skip) when the guest cannot be made here: no busybox-static, no kernel
# package in the cache and none to be had. scripts/setup-deps.sh installs busybox-static
# and fills the cache.
set -eu
out="$1"
tqupd="$2"
here="$(cd "$(dirname "$0")" && pwd)"
cache="${TQUPD_GUEST_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/tqupd-guest}"

skip() { echo "realdriver guest: $*; the tests through real drivers are skipped" >&2; exit 77; }

# A guest of an earlier build must not stand in for this one's.
mkdir -p "$out"
rm -f "$out/vmlinux" "$out/initramfs.cpio"

busybox=/bin/busybox
# The static busybox: the guest has no C library of its own besides tqupd's.
file -L "$busybox" 2>/dev/null | grep -q 'statically linked' || skip "no static busybox (busybox-static)"

# The kernel and its modules, fetched into the cache and unpacked there when they are
# not there yet.
kernel=$("$here/realdriver-kernel.sh" "$cache") || skip "no kernel package in $cache and none to be had"

# The initramfs: busybox, tqupd and its libraries, the modules, and the two scripts.
root="$out/root"
rm -rf "$root"
mkdir -p "$root/bin" "$root/lib/modules" "$root/proc" "$root/sys" "$root/dev" "$root/tmp" "$root/etc"
# root, and one user without privileges for the programs that must not pass the
# exclusive open as root does.
printf 'root:x:0:0:root:/:/bin/sh\nnobody:x:65534:65534:nobody:/:/bin/sh\n' >"$root/etc/passwd"
printf 'root:x:0:\nnogroup:x:65534:\n' >"$root/etc/group"
cp "$busybox" "$root/bin/busybox"
cp "$tqupd" "$root/bin/tqupd"
# The loader and libraries ldd names (absolute paths only: the vDSO has none).
ldd "$tqupd" | grep -o '/[^ ]*' | while read -r lib; do
  mkdir -p "$root$(dirname "$lib")"
  cp -L "$lib" "$root$lib"
done
cp "$kernel"/modules/* "$root/lib/modules/"
cp "$here/realdriver-guest/init" "$root/init"
cp "$here/realdriver-guest/control" "$root/bin/control"
chmod 755 "$root/init" "$root/bin/control"
cp "$kernel/vmlinux" "$out/vmlinux"
(cd "$root" && find . | "$busybox" cpio -o -H newc 2>/dev/null) >"$out/initramfs.cpio.new"
mv "$out/initramfs.cpio.new" "$out/initramfs.cpio"
rm -rf "$root"
echo "realdriver guest: $out (kernel $(basename "$kernel"))"
