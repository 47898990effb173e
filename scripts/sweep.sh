#!/bin/sh
# The interruption sweep: builds tqupd, the virtual switch and the sweep, then updates a
# virtual switch once to find every interruption point of an update, and interrupts a
# fresh update at each point in three ways (power loss, the host dying, a spoiled
# reply), checking that a later run of tqupd finishes every one of them.
#
#   scripts/sweep.sh                       every point, native build (under 30 minutes)
#   scripts/sweep.sh --windows             a sample of 54 points, the Windows build under Wine
#   scripts/sweep.sh --sample N [--draw K] a stratified sample of N points, chosen by K
#   scripts/sweep.sh --jobs J              J runs side by side (default 8; 3 under Wine)
#
# The figures go to tools/sweep/RESULTS-native.md (a full native sweep) or
# tools/sweep/RESULTS-windows.md; a native sample writes into the build tree instead.
set -eu
cd "$(dirname "$0")/.."
root="$PWD/build"
windows=0
sample=0
expect=""
for a in "$@"; do
  if [ -n "$expect" ]; then expect=""; continue; fi
  case "$a" in
    --windows) windows=1 ;;
    --sample) sample=1; expect=1 ;;
    --draw|--jobs) expect=1 ;;
    *) echo "usage: scripts/sweep.sh [--windows] [--sample N] [--draw K] [--jobs J]" >&2; exit 2 ;;
  esac
done

scripts/setup-deps.sh
mkdir -p "$root"
# The native preset's programs (build/native), and for --windows the windows preset's
# tqupd.exe (build/windows).
{ cmake --preset native && cmake --build --preset native-programs; } >"$root/sweep-build.log" 2>&1 ||
  { cat "$root/sweep-build.log"; exit 1; }
if [ "$windows" = 1 ]; then
  { cmake --preset windows && cmake --build --preset windows-program; } >>"$root/sweep-build.log" 2>&1 ||
    { cat "$root/sweep-build.log"; exit 1; }
  TQUPD_WINDOWS_BIN="$root/windows/bin"
  TQUPD_WINE_RUN="$root/windows/wine-run.sh"
  export TQUPD_WINDOWS_BIN TQUPD_WINE_RUN
  results="tools/sweep/RESULTS-windows.md"
  [ "$sample" = 1 ] || set -- "$@" --sample 54
elif [ "$sample" = 1 ]; then
  mkdir -p "$root/sweep"
  results="$root/sweep/RESULTS-native-sample.md"
else
  results="tools/sweep/RESULTS-native.md"
fi
about="tqupd $(git describe --always --dirty 2>/dev/null || echo '?') on $(nproc) cores ($(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'))"
status=0
"$root/native/bin/sweep" "$@" --results "$results" --about "$about" || status=$?
# Leave nothing running: the Wine server of the Windows build's prefix.
[ "$windows" = 1 ] && { WINEPREFIX="$root/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true; }
echo "(figures written to $results)"
exit $status
