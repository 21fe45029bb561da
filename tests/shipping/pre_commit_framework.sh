#!/usr/bin/env bash
# The hooks of .pre-commit-hooks.yaml under the pre-commit framework, offline,
# on a scratch repository: tagfmt-check names what it refuses and changes
# nothing; the tidy hook (tagfmt-check --fix) leaves tagfmt's bytes and no
# .bak, and stops a commit until the tidied files are staged; and README's
# configuration works as it is written there.
# Usage: pre_commit_framework.sh TAGFMT_CHECK TAGFMT SOURCE_DIR
set -uo pipefail
check=$1
tool=$2
src=$3
# shellcheck source=tests/shipping/pre_commit_setup.sh
. "$(dirname "$0")/pre_commit_setup.sh"

mkdir "$scratch/work"
cd "$scratch/work" || exit 1
git init -q
try() { pre-commit try-repo --color never "$hooks" "$@" >"$log" 2>&1; }
# What tagfmt leaves in a copy of FILE, run alone with option words WORD...
tidied() {
  mkdir -p "$scratch/expect"
  cp -- "$1" "$scratch/expect/t.htm"
  (cd "$scratch/expect" && "$tool" "${@:2}" t.htm >/dev/null)
  cat "$scratch/expect/t.htm"
  rm -f "$scratch/expect/"*
}

tidy=$'<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>'
untidy=$'<table>\n<tr><td>a</td></tr>\n</table>\n'
printf '%s' "$tidy" >tidy.htm
printf '%s' "$untidy" >page.htm
printf '%s' "$untidy" >"my page.HTML"
printf '%s' "$untidy" >-dash.htm
printf '%s' "$untidy" >-jquery.html
printf '<table>\r\n<tr><td>a</td></tr>\r\n</table>\r\n' >crlf.xslt
printf '<table>\r<tr><td>a</td></tr>\r</table>\r' >cr.htm
printf '<table>\n<tr>\n</table>\n' >broken.xsl
printf '<table>\n<tr><td>a\n' >notes.txt
git add -A
snapshot() { for f in ./*; do printf '%s\n' "$f"; od -c "$f"; done; }
before=$(snapshot)

# The check hook: staged pages only, each named with its reason, no change.
try tagfmt-check && fail "the check hook passed untidy pages"
for name in page.htm "my page.HTML" -dash.htm -jquery.html crlf.xslt cr.htm; do
  grep -qxF -e "$name: would be tidied" "$log" || fail "$name not named"
done
grep -qxF 'broken.xsl:3:1: nesting error: </table> instead of </tr> (<tr> on line 2)' "$log" ||
  grep -qxF 'broken.xsl:3: nesting error: </table> instead of </tr> ( <tr> on line 2)' "$log" ||
  fail "the nesting fault of broken.xsl was not shown"
grep -q 'tidy.htm\|notes.txt' "$log" && fail "a tidy page or a text file was named"
[ "$(snapshot)" = "$before" ] || fail "the check hook changed a file"

# The tidy hook: tagfmt's bytes, no .bak, the fault shown, and it fails.
declare -A expect
for name in page.htm "my page.HTML" -dash.htm -jquery.html crlf.xslt cr.htm; do
  expect[$name]=$(tidied "$name" | od -c)
done
try tagfmt && fail "the tidy hook passed while changing files"
for name in page.htm "my page.HTML" -dash.htm -jquery.html crlf.xslt cr.htm; do
  grep -qxF -e "$name: tidied" "$log" || fail "$name not reported as tidied"
  [ "$(od -c -- "$name")" = "${expect[$name]}" ] || fail "$name is not as tagfmt leaves it"
done
grep -q '^broken.xsl:3:1: nesting error: ' "$log" || fail "the fault was not shown"
[ "$(cat broken.xsl)" = $'<table>\n<tr>\n</table>' ] || fail "broken.xsl changed"
[ "$(printf '%s' "$tidy" | od -c)" = "$(od -c tidy.htm)" ] || fail "tidy.htm changed"
[ -z "$(find . -name '*.bak' -not -path './.git/*')" ] || fail "a .bak was left"
[ "$(git show :page.htm)" = "${untidy%$'\n'}" ] || fail "the index was changed"

# Staged as tidied and without the broken page, both hooks pass.
rm broken.xsl
git add -A
try || fail "a hook failed on tidy pages"

# Installed from a configuration, in marker mode: the commit stops until
# the tidied pages are staged, numbered across them as one tagfmt run
# numbers them.
git commit -q -m pages --no-verify
cat >.pre-commit-config.yaml <<CONFIG
repos:
  - repo: $hooks
    rev: $(git -C "$hooks" rev-parse HEAD)
    hooks:
      - id: tagfmt
        args: [--markers, --]
CONFIG
pre-commit install >"$log" 2>&1 || fail "pre-commit install"
printf '%s' "$untidy" >late.html
printf '%s' "$untidy" >later.html
mkdir -p "$scratch/expect"
cp late.html later.html "$scratch/expect/"
(cd "$scratch/expect" && "$tool" + late.html later.html >/dev/null)
git add late.html later.html .pre-commit-config.yaml
git commit -q -m late >"$log" 2>&1 && fail "an untidy page was committed"
for name in late.html later.html; do
  grep -qxF "$name: tidied" "$log" || fail "$name not reported"
  cmp -s "$name" "$scratch/expect/$name" || fail "$name is not as tagfmt + leaves it"
done
grep -q '<!--@1@-->' late.html || fail "no pair markers were written"
git add later.html
git add late.html
git commit -q -m late >"$log" 2>&1 || fail "the tidied page was refused"
[ -z "$(git status --porcelain --ignored -- '*.bak')" ] || fail "a .bak was left"

# README's snippet, run as it is written there, with a clone of this
# repository standing at /src/tagfmt: the configuration it writes names a
# revision that exists, and the hook it installs tidies a staged page.
git clone -q "$src" "$scratch/clone" || fail "cannot clone $src"
snippet=$(sed -n '/^    # pre-commit snippet: start$/,/^    # pre-commit snippet: end$/p' \
  "$src/README.md" | sed 's/^    //')
[ -n "$snippet" ] || fail "README has no pre-commit snippet"
mkdir "$scratch/readme"
cd "$scratch/readme" || exit 1
git init -q
printf '%s' "$untidy" >page.htm
git add page.htm
snippet=${snippet//\/src\/tagfmt/$scratch/clone}
bash -euc "$snippet" >"$log" 2>&1 || fail "README's snippet failed"
git add .pre-commit-config.yaml
git commit -q -m page >"$log" 2>&1 && fail "README's hook let an untidy page in"
grep -qxF "page.htm: tidied" "$log" || fail "README's hook did not tidy page.htm"
git add page.htm
git commit -q -m page >"$log" 2>&1 || fail "README's hook refused the tidied page"
echo "pre-commit framework: all cases passed"
