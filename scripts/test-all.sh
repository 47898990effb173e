#!/bin/sh
# Builds everything and runs every test:
#   - the native Linux build and its tests (unit, pseudo-terminal, virtual switch, end to end),
#   - the same native tests under AddressSanitizer and UndefinedBehaviorSanitizer,
#   - the Windows build (MinGW-w64) and its tests under Wine,
#   - the fuzz targets (clang, libFuzzer), each for a short bounded run.
#   - the Debian package and the Windows zip, built and checked (scripts/check-packages.sh).
# Build trees go to build/ (override with TQUPD_BUILD_ROOT).
set -eu
cd "$(dirname "$0")/.."
root="${TQUPD_BUILD_ROOT:-$PWD/build}"
jobs="${TQUPD_JOBS:-$(nproc)}"
fuzz_seconds="${TQUPD_FUZZ_SECONDS:-20}"

scripts/setup-deps.sh

started=$(date +%s)
step() { echo "== $* ($(( $(date +%s) - started ))s)"; }

configure() {  # dir, build type, extra cmake arguments...
  dir="$1"; type="$2"; shift 2
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; exit 1; }
}
mkdir -p "$root"

step "native build"
configure "$root/native" Release
ninja -C "$root/native" -j "$jobs"

step "windows build"
configure "$root/windows" Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DTQUPD_HOST_TOOLS="$root/native/bin"
ninja -C "$root/windows" -j "$jobs"

step "sanitizer build"
# Unoptimised: it compiles fastest, and its tests wait on the line, not the processor.
configure "$root/asan" Debug -DTQUPD_SANITIZE=ON
ninja -C "$root/asan" -j "$jobs"

step "fuzz build"
CXX=clang++ configure "$root/fuzz" Release -DTQUPD_FUZZ=ON -DTQUPD_SANITIZE=ON -DTQUPD_TESTS=OFF -DTQUPD_TOOLS=OFF
ninja -C "$root/fuzz" -j "$jobs"

status=0
step "packages: the Debian package and the Windows zip"
scripts/check-packages.sh "$root" || status=1
step "windows unit tests (Wine)"
ctest --test-dir "$root/windows" --output-on-failure -j "$jobs" || status=1
step "sanitizer tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/asan" --output-on-failure -j "$jobs" || status=1
step "fuzz runs, ${fuzz_seconds}s each"
for target in "$root"/fuzz/bin/*_fuzz; do
  [ -x "$target" ] || continue
  corpus="$root/fuzz/corpus/$(basename "$target")"
  mkdir -p "$corpus"
  if "$target" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" >"$corpus.log" 2>&1; then
    echo "$(basename "$target"): clean"
  else
    tail -40 "$corpus.log"; status=1
  fi
done
# The native test runs also drive the Windows build: the same end-to-end cases run
# tqupd.exe under Wine, its console on a pseudo-terminal, its COM port a dosdevices link.
TQUPD_WINDOWS_BIN="$root/windows/bin"
TQUPD_WINE_RUN="$root/windows/wine-run.sh"
export TQUPD_WINDOWS_BIN TQUPD_WINE_RUN
step "native tests, and the Windows build end to end"
# A test that fails is run once more before it counts as failed: Wine's console can, on
# rare occasions, come up detached from the pseudo-terminal, and its keys then never
# arrive. A failure that repeats is a failure.
ctest --test-dir "$root/native" --output-on-failure -j "$jobs" --repeat until-pass:2 |
  tee "$root/native-tests.log"
# (The pipe hides ctest's status: its summary line tells instead.)
grep -q ' 0 tests failed out of' "$root/native-tests.log" || status=1
# Leave nothing running: the Wine server of the Windows build's prefix.
WINEPREFIX="$root/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true

echo
echo "Fault matrix (what a fault during programming leads to, and a second run after a power cycle):"
grep -ho 'fault matrix | .*' "$root/native/Testing/Temporary/LastTest.log" | sort -u || true
# The last line: the final run's count, in the plain form.
summary=$(grep 'tests failed out of' "$root/native-tests.log" | tail -1)
failed=$(echo "$summary" | sed -n 's/.* \([0-9][0-9]*\) tests failed out of \([0-9][0-9]*\).*/\1/p')
total=$(echo "$summary" | sed -n 's/.* tests failed out of \([0-9][0-9]*\).*/\1/p')
echo "tests: $(( ${total:-0} - ${failed:-0} )) passed, ${failed:-0} failed"
exit $status
