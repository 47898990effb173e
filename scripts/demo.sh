#!/bin/sh
# The main job, end to end, in this terminal: builds tqupd and the virtual switch (the
# native preset's programs, in build/native; with --windows also tqupd.exe, the windows
# preset, in build/windows), powers up a virtual switch that runs an older firmware of
# the carried product, and runs tqupd against it. Answer the prompt yourself. The
# switch's flash is kept in build/demo/flash.bin, so a second run finds the versions
# equal.
#
#   scripts/demo.sh            native Linux build
#   scripts/demo.sh --windows  the Windows build under Wine
#   scripts/demo.sh --fresh    start again from the older firmware
set -eu
cd "$(dirname "$0")/.."
root="$PWD/build"
windows=0
fresh=0
for argument in "$@"; do
  case "$argument" in
    --windows) windows=1 ;;
    --fresh) fresh=1 ;;
    *) echo "usage: scripts/demo.sh [--windows] [--fresh]" >&2; exit 2 ;;
  esac
done

scripts/setup-deps.sh
mkdir -p "$root"
echo "Building..."
{ cmake --preset native && cmake --build --preset native-programs; } >"$root/demo-build.log" 2>&1 ||
  { cat "$root/demo-build.log"; exit 1; }
if [ "$windows" = 1 ]; then
  { cmake --preset windows && cmake --build --preset windows-program; } >>"$root/demo-build.log" 2>&1 ||
    { cat "$root/demo-build.log"; exit 1; }
fi

demo="$root/demo"
mkdir -p "$demo/ports"
install=""
if [ "$fresh" = 1 ] || [ ! -f "$demo/flash.bin" ]; then
  rm -f "$demo/flash.bin"
  # The carried product (KLM8800T, family V, model 3) with an older firmware, 2.50.
  "$root/native/bin/imagepack" --version 2.50 --variant 1 --out "$demo/old-firmware.bin"
  install="--install $demo/old-firmware.bin"
  echo "The virtual switch starts with firmware 2.50; this tqupd carries 2.60."
fi

port=3
link="$demo/ports/com$port"
if [ "$windows" = 1 ]; then
  prefix="$("$root/windows/wine-run.sh" --prefix)"
  link="$prefix/dosdevices/com$port"
fi

# DSP steps at a visible pace, as a real switch shows them.
# shellcheck disable=SC2086
"$root/native/bin/vswitch" --link "$link" --flash "$demo/flash.bin" --log "$demo/wire.log" \
  --stats "$demo/stats.txt" --dsp-step-ms 250 $install >"$demo/vswitch.out" 2>&1 &
switch_pid=$!
trap 'kill $switch_pid 2>/dev/null; wait $switch_pid 2>/dev/null || true' EXIT INT TERM
for _ in $(seq 100); do
  grep -q '^ready' "$demo/vswitch.out" 2>/dev/null && break
  sleep 0.05
done
grep -q '^ready' "$demo/vswitch.out" || { cat "$demo/vswitch.out"; exit 1; }

if [ "$windows" = 1 ]; then
  "$root/windows/wine-run.sh" "$root/windows/bin/tqupd.exe" "$port" || true
else
  TQUPD_PORTS="$demo/ports" "$root/native/bin/tqupd" "$port" || true
fi
echo "(The switch's wire log is in $demo/wire.log; run scripts/demo.sh again to see it up to date.)"
