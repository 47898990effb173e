#!/bin/sh
# Checks a package that cpack made in a build folder, as a user meets it (CTest's
# Package.Check test, label "package", after Package.Build has packed):
#   scripts/check-packages.sh deb BUILD
#       the Debian package of a native build: lintian finds no error or warning; its fields
#       and files are the expected ones; unpacked with dpkg -x into a scratch folder (never
#       installed), its tqupd runs, refuses COM100 with exit status 1 and shows the
#       package's version in its banner, and its manual page renders cleanly;
#   scripts/check-packages.sh zip BUILD
#       the zip of a Windows build: it holds tqupd.exe and a read-me with CR LF line ends;
#       the .exe imports only DLLs that every Windows has, and, unpacked, runs under Wine
#       like the Linux one.
# Ends with one summary line, and a non-zero status when anything failed; 77 (CTest's
# "skipped") when a tool the check needs is not installed.
set -eu
cd "$(dirname "$0")/.."
usage() { echo "usage: scripts/check-packages.sh deb|zip BUILD" >&2; exit 2; }
[ $# = 2 ] || usage
kind="$1"
build="$2"
case "$kind" in
  deb) tools="dpkg-deb lintian groff man dpkg-parsechangelog" ;;
  zip) tools="x86_64-w64-mingw32-objdump" ;;
  *) usage ;;
esac
for tool in $tools; do
  command -v "$tool" >/dev/null 2>&1 && continue
  echo "$tool is not installed: the $kind check is skipped (scripts/setup-deps.sh installs it)"
  exit 77
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

checks=0
failed=0
pass() { checks=$((checks + 1)); }
fail() { checks=$((checks + 1)); failed=$((failed + 1)); echo "check-packages: FAILED: $*"; }
check() {  # description, command...: one check, passed when the command succeeds
  what="$1"; shift
  if "$@"; then pass; else fail "$what"; fi
}

# The run that every package's program must pass: "tqupd 100" with its input closed
# refuses the port number and ends at the key prompt, which closed input answers.
invalid_port="\nCOM100 is an invalid COM port number.\nChoose a COM port number between 1 and 99\n"
# True when file $1 holds the text $2 (printf escapes), line ends included. Both are
# flattened to one line, so that grep can look for a text that spans lines.
holds() {
  printf "$2" | tr '\n' '\001' >"$scratch/wanted"
  tr -d '\r' <"$1" | tr '\n' '\001' | grep -qF -- "$(cat "$scratch/wanted")"
}
banner_version() {
  tr -d '\r' <"$1" | sed -n 's/^Halvek \/ Tessary firmware update utility\. Version //p'
}
run_closed() {  # output file, command...: sets $status; stdout to the file
  out="$1"; shift
  status=0
  timeout 120 "$@" </dev/null >"$out" 2>"$out.err" || status=$?
}
# The package that Package.Build made in the build folder.
find_package() {  # file pattern
  # shellcheck disable=SC2086
  ls "$build"/packages/$1 2>/dev/null | head -1
}

deb=""
zip=""
# ---- The Debian package ----
if [ "$kind" = deb ]; then
deb=$(find_package 'tqupd_*.deb')
if [ -z "$deb" ]; then
  fail "no Debian package in $build/packages (Package.Build makes it)"
else
  pass
  version=$(dpkg-deb -f "$deb" Version)
  check "package name and section are tqupd, utils" \
    test "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Section)" = "tqupd utils"
  check "Depends names libc6 (dpkg-shlibdeps ran)" \
    sh -c 'dpkg-deb -f "$1" Depends | grep -q libc6' - "$deb"
  # The default component only: the program and its documents, no tools, no tests.
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$scratch/deb-files"
  printf '%s\n' ./usr/bin/tqupd ./usr/share/doc/tqupd/README \
    ./usr/share/doc/tqupd/changelog.gz ./usr/share/doc/tqupd/copyright \
    ./usr/share/man/man1/tqupd.1.gz >"$scratch/deb-wanted"
  check "the package holds exactly: $(tr '\n' ' ' <"$scratch/deb-wanted")" \
    cmp -s "$scratch/deb-files" "$scratch/deb-wanted"

  lintian --fail-on error,warning "$deb" >"$scratch/lintian.log" 2>&1 && lint=0 || lint=$?
  grep -v 'running with root privileges' "$scratch/lintian.log" || true
  check "lintian reports no error or warning" test "$lint" = 0

  dpkg -x "$deb" "$scratch/deb"
  before=$failed
  run_closed "$scratch/deb.out" "$scratch/deb/usr/bin/tqupd" 100
  check "unpacked tqupd 100 refuses the port" holds "$scratch/deb.out" "$invalid_port"
  check "unpacked tqupd exits with 1 (it did with $status)" test "$status" = 1
  check "unpacked tqupd's banner shows the package's version $version" \
    test "$(banner_version "$scratch/deb.out")" = "$version"
  [ "$failed" = "$before" ] || { echo "its output:"; cat "$scratch/deb.out" "$scratch/deb.out.err"; }

  page="$scratch/deb/usr/share/man/man1/tqupd.1.gz"
  # The manual page: groff with every warning on, and man as lintian runs it.
  zcat "$page" | groff -ww -z -man >"$scratch/groff.log" 2>&1 || echo "groff failed" >>"$scratch/groff.log"
  man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>>"$scratch/groff.log" >"$scratch/page.out" ||
    echo "man failed" >>"$scratch/groff.log"
  cat "$scratch/groff.log"
  check "the manual page renders without warnings" test ! -s "$scratch/groff.log"
  zcat "$scratch/deb/usr/share/doc/tqupd/changelog.gz" >"$scratch/changelog"
  check "the changelog's last entry is version $version" \
    test "$(dpkg-parsechangelog -l "$scratch/changelog" -S Version)" = "$version"
fi

fi

# ---- The Windows zip ----
if [ "$kind" = zip ]; then
zip=$(find_package 'tqupd-*.zip')
if [ -z "$zip" ]; then
  fail "no zip in $build/packages (Package.Build makes it)"
else
  pass
  zip_version=$(basename "$zip" | sed -n 's/^tqupd-\(.*\)-windows-x64\.zip$/\1/p')
  mkdir "$scratch/zip"
  (cd "$scratch/zip" && cmake -E tar xf "$zip")
  (cd "$scratch/zip" && find . -type f | sort) >"$scratch/zip-files"
  printf '%s\n' ./README.txt ./tqupd.exe >"$scratch/zip-wanted"
  check "the zip holds exactly tqupd.exe and README.txt" \
    cmp -s "$scratch/zip-files" "$scratch/zip-wanted"
  readme="$scratch/zip/README.txt"
  check "README.txt ends every line with CR LF" \
    test "$(wc -l <"$readme")" = "$(grep -c "$(printf '\r')\$" "$readme")"

  # DLLs that come with every Windows: a technician copies one .exe and it runs.
  exe="$scratch/zip/tqupd.exe"
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
  echo "tqupd.exe imports: $dlls"
  for dll in $dlls; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
      kernel32.dll | msvcrt.dll | winmm.dll | ucrtbase.dll | api-ms-win-crt-*.dll | ws2_32.dll) pass ;;
      *) fail "tqupd.exe needs $dll, which not every Windows has" ;;
    esac
  done

  before=$failed
  run_closed "$scratch/exe.out" "$build/wine-run.sh" "$exe" 100
  check "unpacked tqupd.exe 100 refuses the port (Wine)" holds "$scratch/exe.out" "$invalid_port"
  check "unpacked tqupd.exe exits with 1 (it did with $status)" test "$status" = 1
  check "tqupd.exe's banner shows the zip's version $zip_version" \
    test "$(banner_version "$scratch/exe.out")" = "$zip_version"
  [ "$failed" = "$before" ] || { echo "its output:"; cat "$scratch/exe.out" "$scratch/exe.out.err"; }
fi

fi

echo "package: $checks checks, $failed failed ($(basename "$deb$zip"))"
[ "$failed" = 0 ]
