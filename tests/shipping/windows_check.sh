#!/usr/bin/env bash
# tagfmt-check.exe, the MinGW-w64 build, under wine against the native
# tagfmt-check on the examples and a sample of the corpus: the same output
# and status in each mode and format, and the same files after --fix.
# Usage: windows_check.sh TAGFMT_CHECK_EXE NATIVE_TAGFMT_CHECK SOURCE_DIR BUILD_DIR
set -uo pipefail
exe=$1
native=$2
src=$3
build=$4
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$exe" ] ||
  { echo "SKIP: no $exe; make windows builds it (apt-get install g++-mingw-w64-x86-64)"; exit 77; }
wine=$(command -v wine64 || command -v /usr/lib/wine/wine64 || command -v wine) ||
  { echo "SKIP: tagfmt-check.exe is built but wine is not installed (apt-get install wine64)"; exit 77; }
corpus=${TAGFMT_TEST_CORPUS:-$src/../shared/corpus}

export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all LC_ALL=C.UTF-8
scratch=$(mktemp -d)
stop() {
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap stop EXIT
[ -z "${KEEP:-}" ] || trap - EXIT
cd "$scratch" || exit 1

# The sample: the examples, and every tenth file of the corpus.
mkdir pages
cp "$src"/examples/* pages/
if [ -d "$corpus" ]; then
  find "$corpus" -type f \( -iname '*.htm' -o -iname '*.html' -o -iname '*.xsl' -o -iname '*.xslt' \) |
    LC_ALL=C sort | awk 'NR % 10 == 1' | while IFS= read -r file; do
      cp "$file" "pages/$(basename "$file")"
    done
else
  echo "note: no corpus at $corpus; comparing on the examples only"
fi

run() {  # run NAME TOOL WORDS...: output, then status, in NAME.out
  local name=$1 tool=$2
  shift 2
  (cd pages && "$tool" "$@" >"../$name.out" 2>"../$name.err"; echo "status $?" >>"../$name.out")
}
for words in "-j 1" "-l" "--diff" "--markers" "--line-ends-only" "--format json" "--format github"; do
  # shellcheck disable=SC2086 # the words are separate arguments
  run native "$native" $words .
  # shellcheck disable=SC2086
  run windows "$wine" "$exe" $words .
  cmp -s native.out windows.out || fail "output differs for '$words'"
  cmp -s native.err windows.err || fail "standard error differs for '$words'"
done
first=$(cd pages && ls | head -n 1)
run native "$native" --stdout "$first"
run windows "$wine" "$exe" --stdout "$first"
cmp -s native.out windows.out || fail "--stdout differs"

cp -r pages native-pages
run windows "$wine" "$exe" --fix .
mv pages windows-pages
mv native-pages pages
run native "$native" --fix .
cmp -s native.out windows.out || fail "--fix said different things"
diff -r pages windows-pages >/dev/null || fail "--fix left different files"
echo "tagfmt-check.exe: the same as the native build under wine on $(ls pages | wc -l) files"
