#!/bin/sh
# A longer fuzzing campaign: runs each fuzz target for N minutes, one target at a time,
# starting from its kept corpus (fuzz/corpus/<target>/), and merges what it finds back
# into that corpus with libFuzzer's -merge=1.
#
#   scripts/fuzz-campaign.sh --minutes N [TARGET...]
#
# Without targets it runs every fuzz target of fuzz/CMakeLists.txt. It builds the fuzz
# build first (clang, libFuzzer, the sanitizers: the one the test run uses), in
# build/fuzz (its preset's folder; the native build comes first, for its packer). For each target it
# prints the coverage (edges "cov" and features "ft") when the kept corpus has been
# read and at the end of the run, and the kept corpus's files and bytes before and after
# the merge. Each run works in build/fuzz/campaign/<target>/: what it found, its log, and
# any crashing, leaking or hanging input, which stays there. Exit status: 0 when every
# run was clean, 1 when one crashed (or failed to merge), 2 for a bad command line.
#
# Runs take the processors while they last; on a shared machine run it under nice.
set -eu
cd "$(dirname "$0")/.."
build="$PWD/build/fuzz"

usage() { echo "usage: scripts/fuzz-campaign.sh --minutes N [TARGET...]"; }
refuse() { echo "fuzz-campaign: $*" >&2; usage >&2; exit 2; }

known=$(sed -n 's/^tqupd_fuzz_target(\([a-z0-9_]*\) .*/\1/p' fuzz/CMakeLists.txt)
minutes=""
targets=""
while [ $# -gt 0 ]; do
  case "$1" in
    --minutes)
      [ $# -ge 2 ] || refuse "--minutes needs a number of minutes"
      minutes="$2"; shift 2 ;;
    --minutes=*) minutes="${1#--minutes=}"; shift ;;
    -h|--help) usage; exit 0 ;;
    -*) refuse "unknown option: $1" ;;
    *)
      echo "$known" | grep -qxF -- "$1" ||
        refuse "no fuzz target named \"$1\" (there are: $(echo $known))"
      targets="$targets $1"; shift ;;
  esac
done
[ -n "$minutes" ] || refuse "--minutes is required"
case "$minutes" in
  *[!0-9]*) refuse "--minutes takes a whole number of minutes, not \"$minutes\"" ;;
esac
# "010" is ten minutes, not the shell's octal eight; at most a week, so that the number
# stays far inside the shell's arithmetic.
given="$minutes"
minutes=$(echo "$minutes" | sed 's/^0*//')
[ -n "$minutes" ] && [ "${#minutes}" -le 5 ] && [ "$minutes" -le 10080 ] ||
  refuse "--minutes must lie between 1 and 10080, not \"$given\""
[ -n "$targets" ] || targets=$(echo $known)

# The test run's fuzz build (the fuzz preset), after the native build whose packer packs
# its image.
mkdir -p build
{ cmake --preset native && cmake --build --preset native-programs &&
  cmake --preset fuzz && cmake --build --preset fuzz; } >build/fuzz-campaign.build.log 2>&1 ||
  { cat build/fuzz-campaign.build.log; exit 1; }

# "cov: 230 ft: 512" from a libFuzzer status line.
coverage() { sed -n 's/.*\(cov: [0-9]* ft: [0-9]*\).*/\1/p'; }
# "files/bytes" of a folder.
size_of() { echo "$(find "$1" -type f | wc -l)/$(find "$1" -type f -exec cat {} + | wc -c)"; }

status=0
summary="$build/campaign/summary.txt"
mkdir -p "$build/campaign"
printf '%-22s %-22s %-22s %-14s %-14s %s\n' target "start" "end" "corpus before" "corpus after" \
  result >"$summary"
for target in $targets; do
  kept="$PWD/fuzz/corpus/$target"
  work="$build/campaign/$target"
  rm -rf "$work"
  mkdir -p "$kept" "$work/found"
  before=$(size_of "$kept")
  echo "== $target: $minutes min from $before (files/bytes) in $kept"
  result=clean
  # New inputs go to the scratch folder, the first one named; the kept corpus, second,
  # is only read. An input runs in well under a second, even on the virtual clock's
  # longest conversations: one that takes 30 s hangs (libFuzzer's own limit, 20 minutes,
  # would outlast a short campaign).
  "$build/bin/$target" -max_total_time=$((minutes * 60)) -timeout=30 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/found" "$kept" >"$work/fuzz.log" 2>&1 || result=failed
  start=$(grep -m1 'INITED cov:' "$work/fuzz.log" | coverage)
  end=$(grep 'cov: [0-9]' "$work/fuzz.log" | tail -1 | coverage)
  if [ "$result" = failed ]; then
    status=1
    tail -60 "$work/fuzz.log"
    echo "$target: FAILED; the input and the log stay in $work:"
    ls "$work" | grep -E '^(crash|leak|timeout|oom|slow-unit)-' || echo "(no input was kept)"
  fi
  # What the run found goes into the kept corpus when it reaches something the kept
  # inputs do not: the smallest such inputs first, named by content as libFuzzer names
  # them. The kept inputs all stay, so a campaign adds a few files and replaces none.
  "$build/bin/$target" -merge=1 -artifact_prefix="$work/merge-" "$kept" "$work/found" \
    >"$work/merge.log" 2>&1 || { status=1; result="$result, merge failed (see $work/merge.log)"; }
  after=$(size_of "$kept")
  echo "$target: start ${start:-?}, end ${end:-?}; corpus $before -> $after (files/bytes); $result"
  printf '%-22s %-22s %-22s %-14s %-14s %s\n' "$target" "${start:-?}" "${end:-?}" "$before" \
    "$after" "$result" >>"$summary"
done
echo
cat "$summary"
exit $status
