#!/bin/sh
# Puts Debian's current kernel (the package linux-image-amd64 depends on) into the folder
# CACHE, unless it is there already, and prints the folder that holds what the guest of
# the tests through real drivers takes from it (scripts/realdriver-guest.sh): the kernel
# unpacked (vmlinux) and the modules of the USB adapter and of the guest's lines to the
# host (modules/, their load order in modules/order). The package is fetched with
# apt-get download and never installed; nothing is built.
#
#   scripts/realdriver-kernel.sh CACHE
#
# Without the package lists (apt-get update never ran) or the archive, a package already
# in the cache is used. Fails when there is none.
set -eu
cache="$1"
mkdir -p "$cache"

# The modules, in load order (each after those it needs). The 8250 driver is built in.
modules="usb-common usbcore xhci-hcd xhci-pci usbserial ftdi_sio
virtio_ring virtio virtio_pci_legacy_dev virtio_pci_modern_dev virtio_pci virtio_console"

deb=""
name=$(apt-cache depends linux-image-amd64 2>/dev/null |
  sed -n 's/^ *Depends: \(linux-image-[^ ]*\)$/\1/p' | head -n 1)
if [ -n "$name" ]; then
  deb=$(ls "$cache/${name}"_*_amd64.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$deb" ] && (cd "$cache" && apt-get download -q "$name" >/dev/null 2>&1); then
    deb=$(ls "$cache/${name}"_*_amd64.deb 2>/dev/null | head -n 1 || true)
    # One kernel is enough: older packages and what was taken from them go.
    for old in "$cache"/linux-image-*.deb; do
      [ "$old" = "$deb" ] || rm -rf "$old" "${old%.deb}"
    done
  fi
fi
[ -n "$deb" ] || deb=$(ls -t "$cache"/linux-image-*_amd64.deb 2>/dev/null | head -n 1 || true)
[ -n "$deb" ] || exit 1

kernel="${deb%.deb}"
if [ ! -f "$kernel/done" ]; then
  rm -rf "$kernel"
  mkdir -p "$kernel/x" "$kernel/modules"
  patterns="./boot/vmlinuz-*"
  for m in $modules; do patterns="$patterns */$m.ko"; done
  # shellcheck disable=SC2086
  dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$kernel/x" --wildcards $patterns
  # The kernel unpacked once here (its xz stream starts after the x86 boot code): under an
  # emulated processor, unpacking it at every boot takes seconds. QEMU starts the ELF
  # kernel through its PVH entry point.
  vmlinuz=$(echo "$kernel"/x/boot/vmlinuz-*)
  at=$(LC_ALL=C grep -obUaP '\xfd7zXZ\x00' "$vmlinuz" | head -n 1 | cut -d: -f1)
  tail -c +$((at + 1)) "$vmlinuz" | xz -dcq --single-stream >"$kernel/vmlinux" || true
  file "$kernel/vmlinux" | grep -q ELF || { echo "cannot unpack $vmlinuz" >&2; exit 1; }
  for m in $modules; do
    found=$(find "$kernel/x/lib/modules" -name "$m.ko")
    [ -n "$found" ] || { echo "$m.ko is not in $deb" >&2; exit 1; }
    cp "$found" "$kernel/modules/"
  done
  echo "$modules" | tr '\n' ' ' >"$kernel/modules/order"
  rm -rf "$kernel/x"
  touch "$kernel/done"
fi
echo "$kernel"
