#!/bin/sh
# The code's own checks, run by scripts/test-all.sh beside the builds and the tests, from
# the end of configuring (they need only the compile commands):
#   - clang-format: every C++ file of the tree is formatted as .clang-format says;
#   - clang-tidy: the utility's and the tools' sources pass the checks of .clang-tidy,
#     the POSIX ones through the sanitizer build's compile commands, the Windows ones
#     through the Windows build's (parsed by clang for the MinGW target).
# Usage: scripts/check-code.sh BUILD_ROOT   (the folder holding asan/ and windows/)
# Prints each finding and exits 1 when there is one.
set -eu
cd "$(dirname "$0")/.."
root="${1:?usage: scripts/check-code.sh BUILD_ROOT}"
jobs="${TQUPD_JOBS:-$(nproc)}"
status=0

# shellcheck disable=SC2046
if clang-format --dry-run --Werror $(git ls-files '*.cpp' '*.h') 2>"$root/format.log"; then
  echo "clang-format: $(git ls-files '*.cpp' '*.h' | wc -l) files formatted"
else
  head -60 "$root/format.log"
  echo "clang-format: the files above are not formatted (run clang-format -i on them)"
  status=1
fi

# The utility's folders, the tools and the benchmark: not the tests.
sources() {
  git ls-files 'app/*.cpp' 'link/*.cpp' 'isp/*.cpp' 'image/*.cpp' 'monitor/*.cpp' \
    'format/*.cpp' 'flags/*.cpp' 'net/*.cpp' 'tools/*.cpp' 'bench/*.cpp'
}
tidy() {  # build folder, files, extra clang-tidy arguments...
  build="$1"; files="$2"; shift 2
  [ -n "$files" ] || return 0
  # shellcheck disable=SC2086
  run-clang-tidy -p "$build" -j "$jobs" -quiet "$@" $files >"$build/tidy.log" 2>&1 || true
  # run-clang-tidy's own status does not tell findings from clean runs on every version:
  # the findings are the lines that name a check.
  if grep -E '(warning|error): .*\[[a-z-]+[a-zA-Z.,-]*\]$' "$build/tidy.log" |
      grep -q .; then
    grep -E '(warning|error): ' "$build/tidy.log" | sed 's/\x1b\[[0-9;]*m//g' | sort -u
    return 1
  fi
}

posix_files=$(sources | grep -v '/win32/')
# Compile flags only GCC knows (the sanitizer build's carve-outs) are not findings.
if tidy "$root/asan" "$posix_files" -extra-arg=-Wno-unknown-warning-option; then
  echo "clang-tidy: $(echo "$posix_files" | wc -l) POSIX and portable files clean"
else
  status=1
fi

# The Windows files, as clang sees them for the MinGW target: the C++ library of the
# MinGW compiler, the Windows headers, and clang's own intrinsics (GCC's do not parse).
mingw=x86_64-w64-mingw32-g++-posix
windows_args="-extra-arg=--target=x86_64-w64-mingw32 -extra-arg=-nostdinc++"
for dir in $($mingw -E -x c++ - -v </dev/null 2>&1 |
    sed -n '/#include <...> search starts here/,/End of search list/p' | grep '/c++'); do
  windows_args="$windows_args -extra-arg=-isystem$dir"
done
windows_args="$windows_args -extra-arg=-isystem/usr/x86_64-w64-mingw32/include"
windows_files=$(sources | grep '/win32/')
# shellcheck disable=SC2086
if tidy "$root/windows" "$windows_files" $windows_args; then
  echo "clang-tidy: $(echo "$windows_files" | wc -l) Windows files clean"
else
  status=1
fi
exit $status
