#!/bin/sh
# Builds everything and runs every test:
#   - the native Linux build (the programs: tqupd, the virtual switch, the packer);
#   - an AddressSanitizer/UndefinedBehaviorSanitizer build, which runs every native test
#     (unit, pseudo-terminal, virtual switch, end to end) and, under Wine, the Windows
#     build's end-to-end cases;
#   - the Windows build (MinGW-w64) and its unit tests under Wine;
#   - the fuzz targets (clang, libFuzzer), each for a short bounded run;
#   - the Debian package and the Windows zip, built and checked (scripts/check-packages.sh).
# Build trees go to build/ (override with TQUPD_BUILD_ROOT).
set -eu
cd "$(dirname "$0")/.."
root="${TQUPD_BUILD_ROOT:-$PWD/build}"
jobs="${TQUPD_JOBS:-$(nproc)}"
fuzz_seconds="${TQUPD_FUZZ_SECONDS:-10}"

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
# The programs only: the native tests run in the sanitizer build.
configure "$root/native" Release -DTQUPD_TESTS=OFF
ninja -C "$root/native" -j "$jobs"

step "windows build"
configure "$root/windows" Release -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DTQUPD_HOST_TOOLS="$root/native/bin"
ninja -C "$root/windows" -j "$jobs"

step "sanitizer build"
# Unoptimised: it compiles fastest, and its tests wait on the line, not the processor.
configure "$root/asan" Debug -DTQUPD_SANITIZE=ON -DTQUPD_HOST_TOOLS="$root/native/bin"
ninja -C "$root/asan" -j "$jobs"

step "fuzz build"
CXX=clang++ configure "$root/fuzz" Release -DTQUPD_FUZZ=ON -DTQUPD_SANITIZE=ON -DTQUPD_TESTS=OFF \
  -DTQUPD_TOOLS=OFF -DTQUPD_HOST_TOOLS="$root/native/bin"
ninja -C "$root/fuzz" -j "$jobs"

status=0
results="$root/results"
rm -rf "$results"
mkdir -p "$results"

# The Windows unit tests and the package checks start Wine programs; they run beside the
# native tests, which mostly wait on their virtual switches.
step "windows unit tests (Wine), beside the native tests"
( ctest --test-dir "$root/windows" --output-on-failure -j "$jobs" >"$results/windows.log" 2>&1
  echo $? >"$results/windows.status" ) &
windows_job=$!

# The native tests also drive the Windows build: the end-to-end cases that the Windows
# build must show for itself run tqupd.exe under Wine, its console on a pseudo-terminal,
# its COM port a dosdevices link.
TQUPD_WINDOWS_BIN="$root/windows/bin"
TQUPD_WINE_RUN="$root/windows/wine-run.sh"
export TQUPD_WINDOWS_BIN TQUPD_WINE_RUN
step "native tests under the sanitizers, and the Windows build end to end"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$root/asan" --output-on-failure -j "$jobs" >"$results/native.log" 2>&1 || true
# On rare occasions Wine's console comes up detached from its pseudo-terminal and the
# typed keys never arrive; the test then says so ("wine console detached"). Failed tests
# that say so, and only those, run once more.
awk '/^[0-9]+\/[0-9]+ Testing: /{name=$3} /wine console detached/{print name}' \
  "$root/asan/Testing/Temporary/LastTest.log" | sort -u >"$results/marked"
failed_list="$root/asan/Testing/Temporary/LastTestsFailed.log"
detached=""
if [ -s "$results/marked" ] && [ -f "$failed_list" ]; then
  cut -d: -f2- "$failed_list" | sed "s/ .*//" | sort -u >"$results/failed"
  detached=$(comm -12 "$results/failed" "$results/marked")
fi
if [ -n "$detached" ]; then
  echo "Wine's console came up detached in: $detached; running those once more"
  pattern=$(echo "$detached" | sed 's/[][\\.*^$/]/\\&/g' | paste -sd'|')
  ASAN_OPTIONS=detect_leaks=1 ctest --test-dir "$root/asan" --output-on-failure \
    -R "^($pattern)\$" >"$results/native-again.log" 2>&1 || true
fi

wait "$windows_job" || true
cat "$results/windows.log"
[ "$(cat "$results/windows.status")" = 0 ] || status=1

step "packages: the Debian package and the Windows zip"
scripts/check-packages.sh "$root" || status=1

step "fuzz runs, ${fuzz_seconds}s each, two at a time"
# Each run starts from the target's kept corpus (fuzz/corpus/<target>/, grown by
# scripts/fuzz-campaign.sh). libFuzzer writes what it finds to the first folder it is
# given, a fresh one in the build tree; the kept corpus, second, is only read.
fuzz_coverage() { sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p'; }
run_fuzz() {
  name=$(basename "$1")
  corpus="$root/fuzz/corpus/$name"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if "$1" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" "fuzz/corpus/$name" \
    >"$corpus.log" 2>&1; then
    echo "$name: clean ($(grep -m1 'INITED cov:' "$corpus.log" | fuzz_coverage) at the start," \
      "$(grep 'cov: [0-9]' "$corpus.log" | tail -1 | fuzz_coverage) at the end)"
  else
    tail -40 "$corpus.log"; echo failed >"$corpus.failed"
  fi
}
rm -f "$root"/fuzz/corpus/*.failed
set -- "$root"/fuzz/bin/*_fuzz
while [ $# -gt 0 ]; do
  run_fuzz "$1" &
  [ $# -gt 1 ] && run_fuzz "$2" &
  wait
  shift; [ $# -gt 0 ] && shift
done
ls "$root"/fuzz/corpus/*.failed >/dev/null 2>&1 && status=1

# Leave nothing running: the Wine server of the Windows build's prefix.
WINEPREFIX="$root/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true

# The native run's output last, ending with its fault matrix and the plain count.
cat "$results/native.log"
[ -f "$results/native-again.log" ] && cat "$results/native-again.log"
echo
echo "Fault matrix (what a fault during programming leads to, and a second run after a power cycle):"
grep -ho 'fault matrix | .*' "$root/asan/Testing/Temporary/LastTest.log" | sort -u || true
summary=$(grep 'tests failed out of' "$results/native.log" | tail -1)
failed=$(echo "$summary" | sed -n 's/.* \([0-9][0-9]*\) tests failed out of \([0-9][0-9]*\).*/\1/p')
total=$(echo "$summary" | sed -n 's/.* tests failed out of \([0-9][0-9]*\).*/\1/p')
if [ -n "$detached" ]; then
  # The detached tests count by their second run.
  again=$(grep 'tests failed out of' "$results/native-again.log" | tail -1)
  still=$(echo "$again" | sed -n 's/.* \([0-9][0-9]*\) tests failed out of.*/\1/p')
  recovered=$(( $(echo "$detached" | wc -l) - ${still:-0} ))
  failed=$(( ${failed:-0} - recovered ))
fi
[ "${failed:-1}" = 0 ] && [ -n "$total" ] || status=1
echo "tests: $(( ${total:-0} - ${failed:-0} )) passed, ${failed:-0} failed"
echo "== done ($(( $(date +%s) - started ))s)"
exit $status
