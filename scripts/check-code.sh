#!/bin/sh
# The code's own checks, each a CTest test with the label "style" (cmake/checks.cmake):
#   scripts/check-code.sh format
#       every C++ file of the tree is formatted as .clang-format says;
#   scripts/check-code.sh tidy BUILD
#       the utility's, the tools' and the benchmark's sources pass the checks of
#       .clang-tidy, through the compile commands of BUILD: a Linux build checks the POSIX
#       and portable files, a Windows build the Windows files (parsed by clang for the
#       MinGW target).
# Prints each finding and exits 1 when there is one; exits 77 (CTest's "skipped") when
# the tool is not installed.
set -eu
cd "$(dirname "$0")/.."
usage() { echo "usage: scripts/check-code.sh format | tidy BUILD" >&2; exit 2; }
jobs="${TQUPD_JOBS:-$(nproc)}"

# The tree's files: git's list in a checkout, every file of the folders otherwise.
tree_files() {  # patterns...
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files "$@"
  else
    for p in "$@"; do find . -path ./build -prune -o -path "./$p" -type f -print; done |
      sed 's|^\./||' | sort
  fi
}
needs() {  # program
  command -v "$1" >/dev/null 2>&1 && return 0
  echo "$1 is not installed: this check is skipped (scripts/setup-deps.sh installs it)"
  exit 77
}

check_format() {
  needs clang-format
  files=$(tree_files '*.cpp' '*.h')
  log=$(mktemp)
  # shellcheck disable=SC2086
  if clang-format --dry-run --Werror $files 2>"$log"; then
    echo "clang-format: $(echo "$files" | wc -l) files formatted"
    rm -f "$log"
  else
    head -60 "$log"
    rm -f "$log"
    echo "clang-format: the files above are not formatted (run clang-format -i on them)"
    return 1
  fi
}

check_tidy() {  # build folder
  build="$1"
  needs run-clang-tidy
  [ -f "$build/compile_commands.json" ] ||
    { echo "$build has no compile_commands.json (configure it with CMAKE_EXPORT_COMPILE_COMMANDS)"; return 1; }
  # The utility's folders, the tools and the benchmark: not the tests.
  all=$(tree_files 'app/*.cpp' 'link/*.cpp' 'isp/*.cpp' 'image/*.cpp' 'monitor/*.cpp' \
    'format/*.cpp' 'flags/*.cpp' 'net/*.cpp' 'tools/*.cpp' 'bench/*.cpp')
  if grep -q -- '--target=x86_64-w64-mingw32\|mingw32' "$build/compile_commands.json"; then
    what="Windows"
    files=$(echo "$all" | grep '/win32/' || true)
    # The Windows files, as clang sees them for the MinGW target: the C++ library of the
    # MinGW compiler, the Windows headers, and clang's own intrinsics (GCC's do not parse).
    mingw=x86_64-w64-mingw32-g++-posix
    set -- -extra-arg=--target=x86_64-w64-mingw32 -extra-arg=-nostdinc++
    for dir in $($mingw -E -x c++ - -v </dev/null 2>&1 |
        sed -n '/#include <...> search starts here/,/End of search list/p' | grep '/c++'); do
      set -- "$@" "-extra-arg=-isystem$dir"
    done
    set -- "$@" -extra-arg=-isystem/usr/x86_64-w64-mingw32/include
  else
    what="POSIX and portable"
    files=$(echo "$all" | grep -v '/win32/' || true)
    # Compile flags only GCC knows are not findings.
    set -- -extra-arg=-Wno-unknown-warning-option
  fi
  # Only the files this build compiles: the tools exist only where they are built.
  present=""
  for f in $files; do
    grep -q "\"file\": \"[^\"]*/$f\"" "$build/compile_commands.json" && present="$present $f"
  done
  [ -n "$present" ] || { echo "clang-tidy: no $what files in $build"; return 0; }
  log="$build/tidy.log"
  # shellcheck disable=SC2086
  run-clang-tidy -p "$build" -j "$jobs" -quiet "$@" $present >"$log" 2>&1 || true
  # run-clang-tidy's own status does not tell findings from clean runs on every version:
  # the findings are the lines that name a check.
  if grep -E '(warning|error): .*\[[a-z-]+[a-zA-Z.,-]*\]$' "$log" | grep -q .; then
    grep -E '(warning|error): ' "$log" | sed 's/\x1b\[[0-9;]*m//g' | sort -u
    return 1
  fi
  echo "clang-tidy: $(echo "$present" | wc -w) $what files clean"
}

case "${1:-}" in
  format) [ $# = 1 ] || usage; check_format ;;
  tidy) [ $# = 2 ] || usage; check_tidy "$2" ;;
  *) usage ;;
esac
