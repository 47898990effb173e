#!/bin/sh
# Builds everything and runs every test, through the CMake presets (CMakePresets.json):
#   - native: the native Linux build (the programs: tqupd, the virtual switch, the packer);
#   - asan: an AddressSanitizer/UndefinedBehaviorSanitizer build, which runs every native
#     test (unit, pseudo-terminal, virtual switch, end to end) and, under Wine, the Windows
#     build's end-to-end cases;
#   - windows: the Windows build (MinGW-w64) and its unit tests under Wine;
#   - fuzz: the fuzz targets (clang, libFuzzer), each for a short bounded run;
#   - the code's own checks, clang-format and clang-tidy (scripts/check-code.sh), and the
#     fuzz runs, beside the builds and the tests, giving way to them;
#   - then the Debian package and the Windows zip, built and checked (scripts/check-packages.sh).
# Build trees go to build/<preset>. TQUPD_BUILD_ROOT moves them: the same presets then
# configure and build in $TQUPD_BUILD_ROOT/<preset>, named explicitly (CTest still keeps
# its logs in build/<preset>/Testing). TQUPD_JOBS sets each build's parallelism.
set -eu
cd "$(dirname "$0")/.."
root="${TQUPD_BUILD_ROOT:-$PWD/build}"
jobs="${TQUPD_JOBS:-$(nproc)}"
fuzz_seconds="${TQUPD_FUZZ_SECONDS:-10}"

scripts/setup-deps.sh

started=$(date +%s)
now() { echo $(( $(date +%s) - started )); }
step() { echo "== $* ($(now)s)"; }

mkdir -p "$root"
moved=""
[ "$(cd "$root" && pwd -P)" = "$(cd build 2>/dev/null && pwd -P)" ] || moved=1

configure() {  # preset, extra cmake arguments...
  preset="$1"; shift
  [ -z "$moved" ] || set -- -B "$root/$preset" "$@"
  cmake --preset "$preset" "$@" >"$root/$preset.configure.log" 2>&1 ||
    { cat "$root/$preset.configure.log"; return 1; }
}
# Builds one preset, its output in a log shown only when it fails; says when it is done.
build() {  # preset, name of the step
  from=$(now)
  if [ -n "$moved" ]; then
    cmake --build "$root/$1" -j "$jobs" >"$root/$1.build.log" 2>&1
  else
    cmake --build --preset "$1" -j "$jobs" >"$root/$1.build.log" 2>&1
  fi || { cat "$root/$1.build.log"; echo "== $2 FAILED ($(now)s)"; return 1; }
  echo "== $2 done in $(( $(now) - from ))s ($(now)s)"
}
run_tests() {  # preset, more ctest arguments...
  preset="$1"; shift
  [ -z "$moved" ] || set -- --test-dir "$root/$preset" "$@"
  ctest --preset "$preset" "$@"
}

step "configure: native, windows, sanitizer, fuzz"
configure native & n=$!
if [ -n "$moved" ]; then
  configure windows -DTQUPD_HOST_TOOLS="$root/native/bin" &
else
  configure windows &
fi
w=$!
configure asan & a=$!
# The fuzz build follows the native one too, and packs its image with the native packer.
configure fuzz -DTQUPD_HOST_TOOLS="$root/native/bin" & f=$!
configured=0
for job in $n $w $a $f; do wait "$job" || configured=1; done
[ "$configured" = 0 ] || exit 1

status=0
results="$root/results"
rm -rf "$results"
mkdir -p "$results"

# Wine creates the Windows build's prefix (build/windows/wineprefix) beside the builds,
# not in the test phase: that takes far longer than the Windows unit tests themselves.
"$root/windows/wine-run.sh" --prefix >"$root/wineprefix.log" 2>&1 & prefix_job=$!

# The code's own checks (clang-format, clang-tidy) need only the compile commands that
# configuring wrote: they run from here on beside everything else, and give way to it.
( if nice -n 10 scripts/check-code.sh "$root" >"$results/code.log" 2>&1; then echo 0; else echo 1; fi \
    >"$results/code.status" ) &
code_job=$!

# Each run starts from the target's kept corpus (fuzz/corpus/<target>/, grown by
# scripts/fuzz-campaign.sh). libFuzzer writes what it finds to the first folder it is
# given, a fresh one in the build tree; the kept corpus, second, is only read.
fuzz_coverage() { sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p'; }
run_fuzz() {
  name=$(basename "$1")
  corpus="$root/fuzz/corpus/$name"
  rm -rf "$corpus"
  mkdir -p "$corpus"
  if nice -n 10 "$1" -max_total_time="$fuzz_seconds" -print_final_stats=0 "$corpus" \
    "fuzz/corpus/$name" \
    >"$corpus.log" 2>&1; then
    echo "$name: clean ($(grep -m1 'INITED cov:' "$corpus.log" | fuzz_coverage) at the start," \
      "$(grep 'cov: [0-9]' "$corpus.log" | tail -1 | fuzz_coverage) at the end)"
  else
    tail -40 "$corpus.log"; echo failed >"$corpus.failed"
  fi
}
# The short fuzz runs, two at a time, once the fuzz build is there: beside the rest of the
# builds and the tests, giving way to them.
fuzz_runs() {
  rm -f "$root"/fuzz/corpus/*.failed
  set -- "$root"/fuzz/bin/*_fuzz
  while [ $# -gt 0 ]; do
    run_fuzz "$1" &
    [ $# -gt 1 ] && run_fuzz "$2" &
    wait
    shift; [ $# -gt 0 ] && shift
  done
}

# Two builds at a time keep both processors busy through each build's serial tail (its
# links): the sanitizer build, the largest, beside the others one after another. The
# Windows build packs its image with the native packer, so it follows the native build.
step "builds: native, then windows, then fuzz; the sanitizer build beside them"
rm -f "$root/builds.failed"
( build asan "sanitizer build" || touch "$root/builds.failed" ) & asan_build=$!
fuzz_job=""
if build native "native build" && build windows "windows build" && build fuzz "fuzz build"; then
  ( fuzz_runs >"$results/fuzz.log" 2>&1 ) & fuzz_job=$!
else
  touch "$root/builds.failed"
fi
wait "$asan_build" || true
[ ! -f "$root/builds.failed" ] || exit 1
wait "$prefix_job" || echo "Wine could not create the prefix early; the first Windows test will ($(cat "$root/wineprefix.log"))"

# The Windows unit tests and the package checks start Wine programs; they run beside the
# native tests, which mostly wait on their virtual switches.
step "windows unit tests (Wine), beside the native tests"
tests_from=$(now)
( if run_tests windows >"$results/windows.log" 2>&1; then echo 0; else echo 1; fi \
    >"$results/windows.status" ) &
windows_job=$!

# The native tests also drive the Windows build: the end-to-end cases that the Windows
# build must show for itself run tqupd.exe under Wine, its console on a pseudo-terminal,
# its COM port a dosdevices link.
TQUPD_WINDOWS_BIN="$root/windows/bin"
TQUPD_WINE_RUN="$root/windows/wine-run.sh"
# The end-to-end fault recovery tests add their rows of the fault matrix to this file.
TQUPD_FAULT_MATRIX="$results/fault-matrix.txt"
: >"$TQUPD_FAULT_MATRIX"
export TQUPD_WINDOWS_BIN TQUPD_WINE_RUN TQUPD_FAULT_MATRIX
step "native tests under the sanitizers, and the Windows build end to end"
run_tests asan >"$results/native.log" 2>&1 || true

wait "$windows_job" || true
echo "== tests done in $(( $(now) - tests_from ))s ($(now)s)"
cat "$results/windows.log"
[ "$(cat "$results/windows.status")" = 0 ] || status=1
wait "$code_job" || true
step "code checks: clang-format, clang-tidy"
cat "$results/code.log"
[ "$(cat "$results/code.status")" = 0 ] || status=1

step "packages: the Debian package and the Windows zip"
scripts/check-packages.sh "$root" || status=1

wait "$fuzz_job" || true
step "fuzz runs, ${fuzz_seconds}s each, two at a time, beside the builds and the tests"
cat "$results/fuzz.log"
ls "$root"/fuzz/corpus/*.failed >/dev/null 2>&1 && status=1

# Leave nothing running: the Wine server of the Windows build's prefix.
WINEPREFIX="$root/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true

# The native run's output last, ending with its fault matrix and the plain count.
cat "$results/native.log"
echo
echo "Fault matrix (what a fault during programming leads to, and a second run after a power cycle):"
sort -u "$TQUPD_FAULT_MATRIX"
summary=$(grep 'tests failed out of' "$results/native.log" | tail -1)
failed=$(echo "$summary" | sed -n 's/.* \([0-9][0-9]*\) tests failed out of \([0-9][0-9]*\).*/\1/p')
total=$(echo "$summary" | sed -n 's/.* tests failed out of \([0-9][0-9]*\).*/\1/p')
[ "${failed:-1}" = 0 ] && [ -n "$total" ] || status=1
echo "tests: $(( ${total:-0} - ${failed:-0} )) passed, ${failed:-0} failed"
echo "== done ($(( $(date +%s) - started ))s)"
exit $status
