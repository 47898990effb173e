#!/bin/sh
# Builds everything and runs every test: the steps of the four workflows of
# CMakePresets.json, each in its preset's folder (build/<preset>), ordered so that both
# processors stay busy:
#   - native: the native build with its tests, optimised (Release); it runs the unit and
#     scripted tests, the code checks, the Debian package's checks and the tests through
#     real serial drivers (test preset test-all-native);
#   - asan: the sanitizer build; it runs every other native test, the Windows build's
#     end-to-end cases under Wine among them, and replays the kept fuzz corpora
#     (test preset test-all-asan);
#   - windows: the Windows build; its unit tests under Wine, its clang-tidy and its zip;
#   - fuzz: the libFuzzer targets, each corpus replayed and a short exploration.
# What it reports comes from CTest's JUnit files (build/<preset>/test-all.xml): one line
# per preset, the fault matrix of the end-to-end fault tests, and the plain count.
# TQUPD_JOBS sets each build's parallelism (default: the processors).
#
# The compiler runs through ccache when it is installed (scripts/setup-deps.sh installs
# it): the four builds compile the whole tree four ways, which is most of the run's time,
# and a machine that has run the tests before compiles only what changed since. The
# cache is keyed by the tree's relative paths, so any clone on the machine shares it. A
# folder configured before keeps the launcher it was configured with.
set -eu
cd "$(dirname "$0")/.."
jobs="${TQUPD_JOBS:-$(nproc)}"

scripts/setup-deps.sh

started=$(date +%s)
now() { echo $(( $(date +%s) - started )); }
step() { echo "== $* ($(now)s)"; }
logs="$PWD/build/test-all"
rm -rf "$logs"
mkdir -p "$logs"
if command -v ccache >/dev/null 2>&1; then
  CMAKE_CXX_COMPILER_LAUNCHER=ccache
  CCACHE_BASEDIR="$PWD"
  CCACHE_NOHASHDIR=1
  # The test programs share a precompiled GoogleTest (-include), which ccache takes only
  # with these.
  CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
  export CMAKE_CXX_COMPILER_LAUNCHER CCACHE_BASEDIR CCACHE_NOHASHDIR CCACHE_SLOPPINESS
  ccache --zero-stats >/dev/null 2>&1 || true
fi
# The end-to-end fault recovery tests (of the sanitizer build, and through a real driver
# of the native one) add their rows of the fault matrix to this file.
TQUPD_FAULT_MATRIX="$logs/fault-matrix.txt"
: >"$TQUPD_FAULT_MATRIX"
export TQUPD_FAULT_MATRIX

configure() {  # preset
  cmake --preset "$1" >"$logs/$1.configure.log" 2>&1 || { cat "$logs/$1.configure.log"; return 1; }
}
# Builds one preset, its output in a log shown only when it fails; says when it is done.
build() {  # preset
  from=$(now)
  cmake --build --preset "$1" -j "$jobs" >"$logs/$1.build.log" 2>&1 ||
    { cat "$logs/$1.build.log"; echo "== $1 build FAILED ($(now)s)"; return 1; }
  echo "== $1 build done in $(( $(now) - from ))s ($(now)s)"
}
# Runs a test preset; its output goes to a log, its results to a JUnit file.
run_tests() {  # test preset, build folder
  from=$(now)
  ctest --preset "$1" --output-junit "$PWD/build/$2/test-all.xml" >"$logs/$1.log" 2>&1 || true
  echo "== $1 tests done in $(( $(now) - from ))s ($(now)s)"
}

step "configure: native, windows, asan, fuzz"
for preset in native windows asan fuzz; do rm -f "build/$preset/test-all.xml"; done
configure native & n=$!
configure windows & w=$!
configure asan & a=$!
configure fuzz & f=$!
configured=0
for job in $n $w $a $f; do wait "$job" || configured=1; done
[ "$configured" = 0 ] || exit 1

# Wine creates the Windows build's prefix beside the builds, not in the test phase: that
# takes far longer than the Windows unit tests themselves.
build/windows/wine-run.sh --prefix >"$logs/wineprefix.log" 2>&1 & prefix_job=$!

# Two builds at a time keep both processors busy through each build's serial tail (its
# links): the sanitizer build, the largest, beside the others one after another. The
# Windows and fuzz builds pack their image with the native packer, so they follow it.
step "builds: native, then windows, then fuzz; asan beside them"
rm -f "$logs/builds.failed"
( build asan || touch "$logs/builds.failed" ) & asan_build=$!
fuzz_job=""
native_job=""
if build native; then
  # The native build's tests start as soon as it is built: the code checks and the real
  # drivers' guest want the processors that the other builds leave.
  run_tests test-all-native native & native_job=$!
  if build windows && build fuzz; then
    run_tests fuzz fuzz & fuzz_job=$!
  else
    touch "$logs/builds.failed"
  fi
else
  touch "$logs/builds.failed"
fi
wait "$asan_build" || true
if [ -f "$logs/builds.failed" ]; then
  wait $native_job $fuzz_job 2>/dev/null || true
  exit 1
fi
wait "$prefix_job" || echo "Wine could not create the prefix early; the first Windows test will ($(cat "$logs/wineprefix.log"))"

step "tests: asan (with the Windows build end to end) and windows, beside native and fuzz"
tests_from=$(now)
run_tests windows windows & windows_job=$!
run_tests test-all-asan asan
wait "$windows_job" $native_job $fuzz_job || true
echo "== tests done in $(( $(now) - tests_from ))s after the builds ($(now)s)"

# Leave nothing running: the Wine server of the Windows build's prefix.
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k >/dev/null 2>&1 || true

# Each preset's CTest output, the sanitizer build's last: it ends with its slowest tests.
for preset in test-all-native windows fuzz test-all-asan; do
  echo
  echo "---- ctest --preset $preset"
  cat "$logs/$preset.log"
done
echo
echo "Fault matrix (what a fault during programming leads to, and a second run after a power cycle):"
sort -u "$TQUPD_FAULT_MATRIX"
status=0
python3 scripts/junit-summary.py build/native/test-all.xml build/windows/test-all.xml \
  build/fuzz/test-all.xml build/asan/test-all.xml || status=1
[ -s "$TQUPD_FAULT_MATRIX" ] || { echo "test-all: no fault matrix was written"; status=1; }
if command -v ccache >/dev/null 2>&1; then
  echo "ccache:$(ccache --show-stats 2>/dev/null | sed -n 's/^ *\(Hits\|Misses\): *\([0-9]*\).*/ \1 \2/p' | head -2 | tr -d '\n')"
fi
echo "== done ($(now)s)"
exit $status
