#!/usr/bin/env bash
# contrib/nvim with tagfmt-lsp in a real Neovim run headless: a page with a
# fault gets its diagnostics on the right lines, and :TagfmtFormat then
# :write leaves exactly the bytes tagfmt writes, for LF, CR LF, lone CR, a
# page without a last line break, and pages in UTF-8 and in Latin-1; a page
# saved without formatting keeps its bytes.
# Usage: nvim.sh TAGFMT_LSP TAGFMT SOURCE_DIR
set -uo pipefail
lsp=$(realpath -m "$1")
tool=$(realpath -m "$2")
src=$(realpath -m "$3")
skip() { echo "SKIP: $*"; exit 77; }
command -v nvim >/dev/null || skip "Neovim is not installed (apt-get install neovim)"
nvim --headless -u NONE -i NONE -c 'lua if vim.lsp.start_client then vim.cmd("qa!") end' \
  -c 'cq!' </dev/null >/dev/null 2>&1 ||
  skip "this Neovim has no vim.lsp.start_client (Neovim 0.7 or later is needed)"
[ -x "$lsp" ] || skip "no tagfmt-lsp binary at $lsp (build it first)"

scratch=$(mktemp -d)
trap '[ -n "${KEEP:-}" ] || rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; echo "scratch: $scratch"; exit 1; }
cd "$scratch" || exit 1
export HOME=$scratch XDG_CONFIG_HOME=$scratch/config XDG_DATA_HOME=$scratch/data \
  XDG_STATE_HOME=$scratch/state XDG_CACHE_HOME=$scratch/cache
runnvim() {
  timeout 60 nvim --headless -u NONE -i NONE --cmd "set rtp^=$src/contrib/nvim" \
    --cmd "let g:tagfmt_lsp_program = '$lsp'" --cmd 'runtime plugin/tagfmt_lsp.lua' \
    "$@" </dev/null >>"$scratch/nvim.log" 2>&1
}

# shellcheck source=tests/shipping/editor_pages.sh
. "$src/tests/shipping/editor_pages.sh"
mkdir pages
page lf pages/lf.htm
page crlf pages/crlf.html
page cr pages/cr.htm
page noeol pages/noeol.html
page utf8 pages/utf8.htm
page latin1 pages/latin1.htm
page sheet pages/sheet.xsl
page tidy pages/tidy.htm
page broken pages/broken.htm

cat >format.lua <<'LUA'
local ok = vim.wait(10000, function()
  return #vim.lsp.buf_get_clients(0) > 0 and #vim.diagnostic.get(0) > 0
end, 20)
if not ok then vim.cmd('cquit! 3') end
vim.cmd('TagfmtFormat')
if not vim.bo.modified then vim.cmd('cquit! 4') end
vim.cmd('write')
vim.cmd('qa!')
LUA
for name in lf.htm crlf.html cr.htm noeol.html utf8.htm latin1.htm sheet.xsl; do
  expect=$(tidied "pages/$name")
  runnvim -c "edit pages/$name" -c 'luafile format.lua' ||
    fail "$name: no diagnostics, or the buffer was not changed (status $?)"
  [ "$(od -c "pages/$name")" = "$expect" ] || {
    od -c "pages/$name"
    fail "$name: written bytes differ from tagfmt's:"$'\n'"$expect"
  }
done

# A page that is saved but never formatted keeps its own line ends.
cat >save.lua <<'LUA'
vim.wait(10000, function() return #vim.diagnostic.get(0) > 0 end, 20)
vim.cmd('write')
vim.cmd('qa!')
LUA
for name in lf.htm cr.htm noeol.html; do
  page "${name%%.*}" "saved-$name"
  cp "saved-$name" "kept-$name"
  runnvim -c "edit saved-$name" -c 'luafile save.lua' || fail "save.lua ended with $?"
  cmp -s "saved-$name" "kept-$name" || {
    od -c "saved-$name" | head
    fail "$name: saved without formatting, its bytes changed"
  }
done

# A tidy page: formatting changes nothing; a broken one: its faults are
# errors at their lines, pointing at the opening tag, and formatting says
# why it leaves the buffer alone.
cat >faults.lua <<'LUA'
local lines = {}
local ok = vim.wait(10000, function() return #vim.diagnostic.get(0) > 0 end, 20)
for _, d in ipairs(vim.diagnostic.get(0)) do
  local related = d.user_data and d.user_data.lsp and d.user_data.lsp.relatedInformation
  local at = related and related[1] and related[1].location.range.start.line or ''
  table.insert(lines, table.concat({d.lnum, d.severity, d.message, at}, '|'))
end
table.sort(lines)
-- A refused page: an error saying why, and the buffer as it was.
local formatted, why = pcall(vim.cmd, 'TagfmtFormat')
table.insert(lines, formatted and 'no error' or why:match('tagfmt: .*'))
table.insert(lines, vim.bo.modified and 'modified' or 'unchanged')
vim.cmd('write')
vim.cmd('edit pages/tidy.htm')
vim.wait(3000, function() return false end, 20)
table.insert(lines, 'tidy: ' .. #vim.diagnostic.get(0))
vim.cmd('TagfmtFormat')
table.insert(lines, vim.bo.modified and 'modified' or 'unchanged')
vim.fn.writefile(lines, 'faults')
vim.cmd('qa!')
LUA
cp pages/broken.htm pages/tidy.htm .
runnvim -c 'edit pages/broken.htm' -c 'luafile faults.lua' || fail "faults.lua ended with $?"
want='0|1|missing </table>|0
2|1|</table> instead of </tr> (<tr> on line 2)|1
tagfmt: not formatted: line 3: nesting error: </table> instead of </tr> (<tr> on line 2) (and 1 more)
unchanged
tidy: 0
unchanged'
[ "$(cat faults 2>/dev/null)" = "$want" ] ||
  fail "diagnostics of broken.htm:"$'\n'"$(cat faults 2>/dev/null)"$'\n'"instead of"$'\n'"$want"
cmp -s broken.htm pages/broken.htm || fail "broken.htm changed"
cmp -s tidy.htm pages/tidy.htm || fail "tidy.htm changed"

# Each diagnostic covers its tag alone: after text on the line, and past a
# letter that is two bytes in UTF-8 but one UTF-16 unit, the client's.
# Neovim gives the columns in bytes, from the units the server sent.
printf '  x </td>\n<table><tr>\303\251</form></tr></table>\n' >columns.htm
cat >columns.lua <<'LUA'
vim.wait(10000, function() return #vim.diagnostic.get(0) > 0 end, 20)
local lines = {}
for _, d in ipairs(vim.diagnostic.get(0)) do
  table.insert(lines, table.concat({d.lnum, d.col, d.end_lnum, d.end_col}, '|'))
end
table.sort(lines)
vim.fn.writefile(lines, 'ranges')
vim.cmd('qa!')
LUA
runnvim -c 'edit columns.htm' -c 'luafile columns.lua' || fail "columns.lua ended with $?"
want='0|4|0|9
1|13|1|20
1|20|1|25
1|25|1|33'
[ "$(cat ranges 2>/dev/null)" = "$want" ] ||
  fail "ranges on columns.htm:"$'\n'"$(cat ranges 2>/dev/null)"$'\n'"instead of"$'\n'"$want"
echo "nvim: all cases passed"
