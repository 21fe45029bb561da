#!/usr/bin/env bash
# The Debian package as make package builds it: its name and fields, its
# contents unpacked into a scratch root (dpkg -x) with a working binary and
# the manual page in place, and lintian's verdict when lintian is installed.
# Usage: package.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$1
src=$2
version=$3
fail() { echo "FAIL: $*"; exit 1; }
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v $tool >/dev/null ||
    { echo "SKIP: $tool is not installed (apt-get install dpkg-dev)"; exit 77; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null
deb=$scratch/out/tagfmt_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $(basename "$deb"); found: $(ls "$scratch/out")"

[ "$(dpkg-deb -f "$deb" Package)" = tagfmt ] || fail "Package field"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version field"
[ "$(dpkg-deb -f "$deb" Description | head -n 1)" = \
  "re-indent HTML pages and XSL stylesheets in place" ] || fail "Description"
dpkg-deb -f "$deb" Depends | grep -q 'libc6' || fail "no Depends on libc6"

maintainer=$(dpkg-deb -f "$deb" Maintainer)
changelog=$(dpkg-parsechangelog -l "$src/packaging/changelog" -S Version)
[ "$changelog" = "$version" ] ||
  fail "packaging/changelog starts at $changelog, the package is $version"
[ "$(dpkg-parsechangelog -l "$src/packaging/changelog" -S Maintainer)" = \
  "$maintainer" ] || fail "the changelog's signer is not the Maintainer"

dpkg -x "$deb" "$scratch/root"
doc=$scratch/root/usr/share/doc/tagfmt
gzip -t "$scratch/root/usr/share/man/man1/tagfmt.1.gz" || fail "no manual page"
[ -x "$scratch/root/usr/bin/tagfmt-check" ] || fail "no tagfmt-check"
gzip -t "$scratch/root/usr/share/man/man1/tagfmt-check.1.gz" ||
  fail "no manual page for tagfmt-check"
[ -x "$scratch/root/usr/bin/tagfmt-lsp" ] || fail "no tagfmt-lsp"
gzip -t "$scratch/root/usr/share/man/man1/tagfmt-lsp.1.gz" ||
  fail "no manual page for tagfmt-lsp"
# Input that ends without "shutdown" ends the server with status 1.
said=$(printf 'Content-Length: 58\r\n\r\n{"jsonrpc":"2.0","id":1,"method":"initialize","params":{}}' |
  "$scratch/root/usr/bin/tagfmt-lsp") || true
grep -q '"name":"tagfmt-lsp"' <<<"$said" ||
  fail "the packaged tagfmt-lsp did not answer initialize: $said"
[ -f "$doc/README.md" ] || fail "no README"
zcmp "$doc/changelog.gz" "$src/packaging/changelog" || fail "changelog.gz"
cmp -s "$doc/copyright" "$src/packaging/copyright" || fail "no copyright file"
[ -f "$scratch/root/usr/share/vim/vimfiles/compiler/tagfmt.vim" ] ||
  fail "no vim files where Debian's vim looks"
[ -f "$scratch/root/usr/share/nvim/site/plugin/tagfmt_lsp.lua" ] ||
  fail "no Neovim file where Debian's Neovim looks"
[ -f "$scratch/root/usr/share/emacs/site-lisp/tagfmt-lsp.el" ] ||
  fail "no Emacs file on Debian's load-path"
dpkg-deb -f "$deb" Description | grep -q 'writes nothing' &&
  fail "the description says tagfmt-check writes nothing"
cp "$src/examples/catalog.xsl" "$scratch/catalog.xsl"
said=$(cd "$scratch" && "$scratch/root/usr/bin/tagfmt" catalog.xsl)
[ "$said" = $'catalog.xsl\n   writing catalog.bak\n   writing catalog.xsl' ] ||
  fail "the packaged binary said: $said"
cmp -s "$src/examples/catalog.xsl" "$scratch/catalog.bak" || fail "backup"
grep -q $'^    <xsl:template match="/">\r$' "$scratch/catalog.xsl" ||
  fail "the packaged binary did not re-indent the stylesheet"

if command -v lintian >/dev/null; then
  # Info tags (I:) are allowed; errors and warnings are not.
  lintian --fail-on error,warning "$deb" >"$scratch/lintian" 2>&1 ||
    { cat "$scratch/lintian"; fail "lintian"; }
  echo "package: lintian finds no error or warning"
else
  echo "package: lintian is not installed, not run (apt-get install lintian)"
fi
echo "package: $(basename "$deb") installs and runs"
