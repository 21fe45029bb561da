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

# The one platform policy: a rewrite leaves the new text, the backup of
# the old and no temporary name; a copy of a page's old bytes that a dead
# run left (".tagfmt-<hash of the page's name>-<inode>-<size>-<time>-b-...")
# goes with the page's next run, whether it writes or not; one left for
# another page stays.
leafHash() {  # leafHash NAME: the name's hash, as the tool's ByteHash (< 32 bytes)
  local -a bytes lanes=(0x9E3779B97F4A7C15 0xC2B2AE3D27D4EB4F 0x165667B19E3779F9 0x27D4EB2F165667C5)
  mapfile -t bytes < <(printf '%s' "$1" | od -An -v -tu1 | tr -s ' ' '\n' | sed '/^$/d')
  local n=${#bytes[@]} at=0 lane=0 word i state
  mix() { echo $(( (($1 ^ $2) * 0xFF51AFD7ED558CCD) ^ (($1 >> 29) & 0x7FFFFFFFF) )); }
  for ((; at + 8 <= n; at += 8, ++lane)); do
    word=0
    for ((i = 7; i >= 0; --i)); do word=$(( (word << 8) | bytes[at + i] )); done
    lanes[lane]=$(mix "${lanes[lane]}" "$word")
  done
  for ((; at < n; ++at)); do lanes[0]=$(mix "${lanes[0]}" "${bytes[at]}"); done
  state=$(mix "${lanes[0]}" "$n")
  for lane in 1 2 3; do state=$(mix "$state" "${lanes[lane]}"); done
  printf '%016x' "$(mix "$state" $(( (state >> 31) & 0x1FFFFFFFF )))"
}
mkdir policy
declare -A text=([untidy]=$'<table>\n<tr><td>a</td></tr>\n</table>\n'
  [tidy]=$'<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>')
declare -A says=([wrote]=$'page.htm\n   writing page.bak\n   writing page.htm'
  [nothing]="")
# page | a dead run's copy left for | what the run says | names left beside
while IFS='|' read -r page left said after; do
  row="policy row $page, copy for $left"
  rm -rf policy/* policy/.tagfmt-*
  printf '%s' "${text[$page]}" >policy/page.htm
  printf 'x\n' >policy/other.htm
  if [ "$left" != none ]; then
    for=policy/$left.htm
    printf 'old\n' >"policy/.tagfmt-$(leafHash "$left.htm")-$(stat -c %i "$for")-$(stat -c %s "$for")-0-b-99999-0.tmp"
  fi
  said_now=$(cd policy && ../tagfmt-exe page.htm)
  [ "$said_now" = "${says[$said]}" ] || fail "$row: said $said_now"
  cmp -s policy/page.htm <(printf '%s' "${text[tidy]}") || fail "$row: page holds $(cat policy/page.htm)"
  if [ "$said" = wrote ]; then
    cmp -s policy/page.bak <(printf '%s' "${text[untidy]}") || fail "$row: backup holds $(cat policy/page.bak)"
  fi
  names=(policy/.tagfmt-*)
  [ -e "${names[0]}" ] || names=()
  [ "${#names[@]}" = "$after" ] || fail "$row: left ${names[*]}"
done <<'ROWS'
untidy|none|wrote|0
untidy|page|wrote|0
tidy|page|nothing|0
tidy|other|nothing|1
ROWS

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
