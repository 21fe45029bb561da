#!/usr/bin/env bash
# tagfmt-lsp.exe, the MinGW-w64 build, under wine against the native server:
# a scripted exchange (initialize, open, format, a page that does not nest,
# save, shutdown, exit) gives the same bytes back and the same status, and
# input that pauses gets the same diagnostics.
# Usage: windows_lsp.sh TAGFMT_LSP_EXE NATIVE_TAGFMT_LSP BUILD_DIR
set -uo pipefail
exe=$1
native=$2
build=$3
fail() { echo "FAIL: $*"; exit 1; }
[ -f "$exe" ] ||
  { echo "SKIP: no $exe; make windows builds it (apt-get install g++-mingw-w64-x86-64)"; exit 77; }
wine=$(command -v wine64 || command -v /usr/lib/wine/wine64 || command -v wine) ||
  { echo "SKIP: tagfmt-lsp.exe is built but wine is not installed (apt-get install wine64)"; exit 77; }

export WINEPREFIX=$build/wine-prefix WINEDEBUG=-all LC_ALL=C
scratch=$(mktemp -d)
stop() {
  "$(dirname "$wine")/wineserver" -k 2>/dev/null || wineserver -k 2>/dev/null || true
  rm -rf "$scratch"
}
trap stop EXIT

frame() { printf 'Content-Length: %d\r\n\r\n%s' "${#1}" "$1"; }
untidy='file:///c:/site/a.htm'
faulty='file:///c:/site/b.htm'
{
  frame '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}'
  frame '{"jsonrpc":"2.0","method":"initialized","params":{}}'
  frame '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"'$untidy'","languageId":"html","version":1,"text":"<table>\n<tr><td>x</td></tr>\n</table>\n"}}}'
  frame '{"jsonrpc":"2.0","id":2,"method":"textDocument/formatting","params":{"textDocument":{"uri":"'$untidy'"},"options":{"tabSize":2,"insertSpaces":true}}}'
  frame '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"'$faulty'","languageId":"html","version":1,"text":"<div>\n<table>\n</div>\n"}}}'
  frame '{"jsonrpc":"2.0","method":"textDocument/didSave","params":{"textDocument":{"uri":"'$faulty'"}}}'
  frame '{"jsonrpc":"2.0","id":3,"method":"textDocument/formatting","params":{"textDocument":{"uri":"'$faulty'"},"options":{"tabSize":2,"insertSpaces":true}}}'
  frame '{"jsonrpc":"2.0","id":4,"method":"shutdown"}'
  frame '{"jsonrpc":"2.0","method":"exit"}'
} > "$scratch/exchange"

"$native" < "$scratch/exchange" > "$scratch/native.out" 2> "$scratch/native.err"
echo "status $?" >> "$scratch/native.out"
"$wine" "$exe" < "$scratch/exchange" > "$scratch/windows.out" 2> "$scratch/windows.err"
echo "status $?" >> "$scratch/windows.out"
grep -q '"id":2,"jsonrpc":"2.0","result":\[{' "$scratch/native.out" ||
  fail "the native server gave no edits: $(cat "$scratch/native.out")"
cmp -s "$scratch/native.out" "$scratch/windows.out" ||
  fail "the exchange differs: $(diff <(tr '\r' '~' < "$scratch/native.out") <(tr '\r' '~' < "$scratch/windows.out") | head -20)"
grep -q 'status 0$' "$scratch/windows.out" || fail "tagfmt-lsp.exe did not end with status 0"
# Input that pauses: diagnostics come once changes pause, on a time-out the
# loop waits with.
slowly() {
  frame '{"jsonrpc":"2.0","id":1,"method":"initialize","params":{"capabilities":{}}}'
  sleep 1
  frame '{"jsonrpc":"2.0","method":"textDocument/didOpen","params":{"textDocument":{"uri":"'$faulty'","languageId":"html","version":1,"text":"<div>\n<table>\n</div>\n"}}}'
  sleep 2
  frame '{"jsonrpc":"2.0","id":4,"method":"shutdown"}'
  frame '{"jsonrpc":"2.0","method":"exit"}'
}
slowly | "$native" > "$scratch/native.out"
slowly | "$wine" "$exe" > "$scratch/windows.out"
grep -q 'textDocument/publishDiagnostics' "$scratch/windows.out" ||
  fail "tagfmt-lsp.exe published no diagnostics: $(cat "$scratch/windows.out")"
cmp -s "$scratch/native.out" "$scratch/windows.out" || fail "the paused exchange differs"
"$wine" "$exe" --version | tr -d '\r' | grep -q '^tagfmt-lsp ' || fail "tagfmt-lsp.exe --version"
echo "tagfmt-lsp.exe: the same exchange as the native server under wine"
