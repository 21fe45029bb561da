#!/usr/bin/env bash
# tagfmt.exe, the MinGW-w64 build: it needs no DLL beyond Windows' own, and
# under wine it passes the end-to-end tests, treats "\" as a separator,
# takes UTF-8 names and does to the examples what the native build does.
# Usage: windows.sh TAGFMT_EXE TAGFMT_TESTS NATIVE_TAGFMT SOURCE_DIR BUILD_DIR
set -euo pipefail
exe=$1
tests=$2
native=$3
src=$4
build=$5
fail() { echo "FAIL: $*"; exit 1; }

if [ ! -f "$exe" ]; then
  echo "SKIP: no $exe; make windows builds it (apt-get install g++-mingw-w64-x86-64)"
  exit 77
fi
if command -v x86_64-w64-mingw32-objdump >/dev/null; then
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\tDLL Name: //p' |
    tr '[:upper:]' '[:lower:]' | LC_ALL=C sort | tr '\n' ' ')
  [ "$dlls" = "advapi32.dll kernel32.dll msvcrt.dll shell32.dll " ] ||
    fail "tagfmt.exe needs DLLs of its own: $dlls"
fi
wine=$(command -v wine64 || command -v /usr/lib/wine/wine64 || command -v wine) ||
  { echo "SKIP: tagfmt.exe is built but wine is not installed (apt-get install wine64)"; exit 77; }

export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all LC_ALL=C.UTF-8
scratch=$(mktemp -d)
stop() {
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap stop EXIT
printf '#!/bin/sh\nexec "%s" "%s" "$@"\n' "$wine" "$exe" >"$scratch/tagfmt-exe"
chmod +x "$scratch/tagfmt-exe"
# The first run sets up the wine prefix, which later runs reuse.
"$scratch/tagfmt-exe" >/dev/null 2>"$scratch/wine.err" ||
  { cat "$scratch/wine.err"; fail "wine cannot run tagfmt.exe"; }

# The end-to-end suite, less Unix permission bits, which Windows lacks.
TAGFMT_TEST_TOOL=$scratch/tagfmt-exe "$tests" --gtest_brief=1 \
  --gtest_filter='EndToEnd.*:-EndToEnd.RewriteKeepsLinksAndPermissions' ||
  fail "end-to-end tests against tagfmt.exe"

cd "$scratch"
# "\" ends a folder part, so the "." of dir.old is not the extension's.
mkdir dir.old
printf 'a\n' >dir.old/page
said=$(./tagfmt-exe 'dir.old\page')
[ "$said" = $'dir.old\\page\n   writing dir.old\\page.bak\n   writing dir.old\\page' ] ||
  fail "backslash name: $said"
[ "$(cat dir.old/page.bak)" = a ] || fail "backslash name: backup"

# A name outside the ANSI code page comes through whole, in UTF-8.
printf 'b\n' >'café €.htm'
said=$(./tagfmt-exe -w 'café €.htm')
[ "$said" = $'café €.htm\n   writing café €.bak\n   writing café €.htm' ] ||
  fail "UTF-8 name: $said"

# Both builds do the same to the examples, in every mode.
for words in "" "+" "-w"; do
  rm -rf native windows
  mkdir native windows
  cp "$src"/examples/* native/
  cp "$src"/examples/* windows/
  # shellcheck disable=SC2086 # the mode word, if any, is its own argument
  (cd native && "$native" $words ./*) >native.out
  # shellcheck disable=SC2086
  (cd windows && ../tagfmt-exe $words ./*) >windows.out
  cmp -s native.out windows.out || fail "messages differ for '$words'"
  diff -r native windows >/dev/null || fail "files differ for '$words'"
done
echo "tagfmt.exe: end-to-end tests and comparisons passed under wine"
