#!/usr/bin/env bash
# make install's step into a scratch root, as DESTDIR gives it: exactly the
# binary, the gzipped manual pages, the README, copyright and changelog, the
# git hook and the vim files, and the installed binary works.
# Usage: install.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
src=$2
fail() { echo "FAIL: $*"; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
DESTDIR=$scratch/root cmake --install "$build" --prefix /opt/tf >/dev/null

expected='opt/tf/bin/tagfmt
opt/tf/bin/tagfmt-check
opt/tf/bin/tagfmt-lsp
opt/tf/share/doc/tagfmt/README.md
opt/tf/share/doc/tagfmt/changelog.gz
opt/tf/share/doc/tagfmt/copyright
opt/tf/share/emacs/site-lisp/tagfmt-lsp.el
opt/tf/share/man/man1/tagfmt-check.1.gz
opt/tf/share/man/man1/tagfmt-lsp.1.gz
opt/tf/share/man/man1/tagfmt.1.gz
opt/tf/share/nvim/site/plugin/tagfmt_lsp.lua
opt/tf/share/tagfmt/git-hooks/pre-commit
opt/tf/share/vim/vimfiles/autoload/tagfmt.vim
opt/tf/share/vim/vimfiles/compiler/tagfmt.vim
opt/tf/share/vim/vimfiles/plugin/tagfmt.vim'
found=$(cd "$scratch/root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort)
[ "$found" = "$expected" ] || fail "installed files:"$'\n'"$found"
for program in bin/tagfmt bin/tagfmt-check bin/tagfmt-lsp share/tagfmt/git-hooks/pre-commit; do
  [ -x "$scratch/root/opt/tf/$program" ] || fail "$program is not executable"
done
for page in tagfmt.1 tagfmt-check.1 tagfmt-lsp.1; do
  zcmp "$src/$page" "$scratch/root/opt/tf/share/man/man1/$page.gz" ||
    fail "the installed manual page $page differs"
done
for file in autoload/tagfmt.vim compiler/tagfmt.vim plugin/tagfmt.vim; do
  cmp -s "$src/contrib/vim/$file" "$scratch/root/opt/tf/share/vim/vimfiles/$file" ||
    fail "the installed $file differs"
done

mkdir "$scratch/work"
printf '<table>\n<tr><td>a</td></tr>\n</table>\n' >"$scratch/work/page.htm"
said=$(cd "$scratch/work" && "$scratch/root/opt/tf/bin/tagfmt" page.htm)
[ "$said" = $'page.htm\n   writing page.bak\n   writing page.htm' ] ||
  fail "the installed binary said: $said"
[ "$(cat "$scratch/work/page.htm")" = \
  $'<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>' ] ||
  fail "the installed binary did not tidy the page"
printf '<table>\n<td/>\n</table>\n' >"$scratch/work/bad.htm"
status=0
said=$(cd "$scratch/work" && "$scratch/root/opt/tf/bin/tagfmt-check" -l . 2>/dev/null) ||
  status=$?
[ "$status" = 2 ] && [ -z "$said" ] ||
  fail "the installed tagfmt-check said \"$said\" with status $status"
said=$("$scratch/root/opt/tf/bin/tagfmt-lsp" --version)
[ "$said" = "tagfmt-lsp $(sed -n 's/^project(tagfmt VERSION \([^ ]*\) .*/\1/p' "$src/CMakeLists.txt")" ] ||
  fail "the installed tagfmt-lsp said: $said"
echo "install: files and binaries as expected"
