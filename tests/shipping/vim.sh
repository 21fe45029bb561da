#!/usr/bin/env bash
# contrib/vim in a real vim run headless: :compiler tagfmt puts each fault
# and note of tagfmt-check at its file and line in the quickfix list, and
# :TagfmtBuffer leaves the bytes tagfmt would write, with LF, CR LF and lone
# CR line ends, or keeps the buffer and lists the faults.
# Usage: vim.sh TAGFMT_CHECK TAGFMT SOURCE_DIR
set -uo pipefail
check=$1
tool=$2
src=$3
skip() { echo "SKIP: $*"; exit 77; }
command -v vim >/dev/null || skip "vim is not installed (apt-get install vim)"
vim -es -Nu NONE -c 'if has("quickfix") && has("eval") | qa! | endif' -c 'cq!' ||
  skip "this vim lacks +quickfix or +eval (apt-get install vim)"
[ -x "$check" ] || skip "no tagfmt-check binary at $check (build it first)"

scratch=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; echo "scratch: $scratch"; exit 1; }
cd "$scratch" || exit 1
export HOME=$scratch
runvim() {
  vim -Nu NONE -i NONE -es --cmd "set rtp^=$src/contrib/vim" \
    --cmd "let g:tagfmt_check_program = '$check'" \
    -c "runtime plugin/tagfmt.vim" "$@" </dev/null >>"$scratch/vim.log" 2>&1
}

# shellcheck source=tests/shipping/editor_pages.sh
. "$src/tests/shipping/editor_pages.sh"
mkdir pages
page lf pages/lf.htm
page crlf pages/crlf.htm
page cr pages/cr.htm
page noeol pages/noeol.html
page tidy pages/tidy.htm
printf '<xsl:stylesheet>\n<xsl:template match="a"/>\n</xsl:stylesheet>\n' \
  >"pages/self closed.xsl"
page broken pages/broken.htm

# :TagfmtBuffer then :write gives tagfmt's bytes; a tidy buffer stays
# unmodified; a faulty one stays as it was, its faults in the location list.
for name in lf.htm crlf.htm cr.htm noeol.html; do
  expect=$(tidied "pages/$name")
  runvim -c "edit pages/$name" -c TagfmtBuffer \
    -c 'if !&modified | cquit! | endif' -c 'write' -c 'qa!' ||
    fail "$name: the buffer was not changed or not written"
  [ "$(od -c "pages/$name")" = "$expect" ] || {
    od -c "pages/$name"
    fail "$name: written bytes differ from tagfmt's:"$'\n'"$expect"
  }
done
for name in tidy.htm broken.htm; do
  cp "pages/$name" before
  runvim -c "edit pages/$name" -c TagfmtBuffer \
    -c 'if &modified | cquit! | endif' -c 'write' -c 'qa!' ||
    fail "$name: the buffer was changed"
  cmp -s before "pages/$name" || fail "$name: the file changed"
done

cat >faults.vim <<'VIM'
edit pages/broken.htm
TagfmtBuffer
let s:list = getloclist(0)
call assert_notequal([], s:list)
for s:e in s:list
  call assert_equal(bufnr(''), s:e.bufnr)
endfor
call assert_equal([3, 1, 'e'], [s:list[0].lnum, s:list[0].col, s:list[0].type])
call assert_match('^</table> instead of </tr> ( \?<tr> on line 2)$', s:list[0].text)
call writefile(v:errors, 'errors')
qa!
VIM
runvim -S faults.vim
[ -s errors ] && fail "the location list of broken.htm:"$'\n'"$(cat errors)"

# :make after :compiler tagfmt lists what tagfmt-check says, line by line:
# FILE:LINE:COLUMN: KIND: TEXT at FILE, LINE and COLUMN, FILE: TEXT at FILE.
expected() {
  "$check" "$@" 2>/dev/null | sed -n \
    -e 's/^\(.*\):\([0-9]*\):\([0-9]*\): nesting error: \(.*\)$/\1|\2|\3|e|\4/p' -e t \
    -e 's/^\(.*\):\([0-9]*\):\([0-9]*\): note: \(.*\)$/\1|\2|\3|n|\4/p' -e t \
    -e 's/^\(.*\): \([^:]*\)$/\1|0|0||\2/p'
}
cat >make.vim <<'VIM'
compiler tagfmt
silent make!
let s:lines = []
for s:e in getqflist()
  if s:e.valid
    call add(s:lines, join([bufname(s:e.bufnr), s:e.lnum, s:e.col, s:e.type, s:e.text], '|'))
  endif
endfor
call writefile(s:lines, 'quickfix')
qa!
VIM
runvim -c 'edit pages/self\ closed.xsl' -S make.vim
want=$(expected "pages/self closed.xsl")
[ "$(cat quickfix)" = "$want" ] ||
  fail ":make on self closed.xsl listed"$'\n'"$(cat quickfix)"$'\n'"instead of"$'\n'"$want"
grep -q '|e|' quickfix || fail ":make on self closed.xsl listed no fault"
grep -q '|n|' quickfix || fail ":make on self closed.xsl listed no note"

# The column is in bytes, as vim's is: after a tab and a two-byte letter,
# :cfirst puts the cursor on the "<" of the closing tag itself.
printf '<table>\n\t<tr> \303\251 </table>\n' >pages/columns.htm
cat >columns.vim <<'VIM'
compiler tagfmt
silent make!
cfirst
call assert_equal([2, 10], [line('.'), col('.')])
call assert_equal('</table>', getline('.')[col('.') - 1 : col('.') + 6])
call writefile(v:errors, 'errors')
qa!
VIM
runvim -c 'edit pages/columns.htm' -S columns.vim
[ -s errors ] && fail ":cfirst on columns.htm:"$'\n'"$(cat errors)"
rm pages/columns.htm

cp "pages/self closed.xsl" pages/broken.htm pages/tidy.htm .
rm -rf pages expect
page lf lf.htm
runvim --cmd "let g:tagfmt_make_paths = '.'" -S make.vim
want=$(expected .)
[ "$(cat quickfix)" = "$want" ] ||
  fail ":make on the tree listed"$'\n'"$(cat quickfix)"$'\n'"instead of"$'\n'"$want"
grep -q '^\./lf.htm|0|0||would be tidied$\|^lf.htm|0|0||would be tidied$' quickfix ||
  fail ":make on the tree did not name lf.htm"
echo "vim: all cases passed"
