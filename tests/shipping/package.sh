#!/usr/bin/env bash
# The Debian package as make package builds it: its name and fields, and
# its contents unpacked into a scratch root (dpkg -x) with a working binary
# and the manual page in place.
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

dpkg -x "$deb" "$scratch/root"
[ -f "$scratch/root/usr/share/man/man1/tagfmt.1" ] || fail "no manual page"
[ -x "$scratch/root/usr/bin/tagfmt-check" ] || fail "no tagfmt-check"
[ -f "$scratch/root/usr/share/man/man1/tagfmt-check.1" ] ||
  fail "no manual page for tagfmt-check"
[ -f "$scratch/root/usr/share/doc/tagfmt/README.md" ] || fail "no README"
[ -f "$scratch/root/usr/share/vim/vimfiles/compiler/tagfmt.vim" ] ||
  fail "no vim files where Debian's vim looks"
cp "$src/examples/catalog.xsl" "$scratch/catalog.xsl"
said=$(cd "$scratch" && "$scratch/root/usr/bin/tagfmt" catalog.xsl)
[ "$said" = $'catalog.xsl\n   writing catalog.bak\n   writing catalog.xsl' ] ||
  fail "the packaged binary said: $said"
cmp -s "$src/examples/catalog.xsl" "$scratch/catalog.bak" || fail "backup"
grep -q $'^    <xsl:template match="/">\r$' "$scratch/catalog.xsl" ||
  fail "the packaged binary did not re-indent the stylesheet"
echo "package: $(basename "$deb") installs and runs"
