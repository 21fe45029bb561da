#!/usr/bin/env bash
# README's CI snippet, run as it is written there, with this build standing
# in for a clone at /src/tagfmt: plain lines and status 1 on an untidy tree,
# workflow commands on GitHub, status 0 once the tree is tidy.
# Usage: ci_snippet.sh TAGFMT_CHECK SOURCE_DIR
set -uo pipefail
check=$1
src=$2
[ -x "$check" ] || { echo "SKIP: no tagfmt-check binary at $check"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

snippet=$(sed -n '/^    # CI snippet: start$/,/^    # CI snippet: end$/p' \
  "$src/README.md" | sed 's/^    //')
[ -n "$snippet" ] || fail "README has no CI snippet"
# The clone: a Makefile with nothing left to build, and the built binary.
mkdir -p "$scratch/clone/build" "$scratch/tree"
printf 'all:\n\t@true\n' >"$scratch/clone/Makefile"
ln -s "$check" "$scratch/clone/build/tagfmt-check"
snippet=${snippet//\/src\/tagfmt/$scratch/clone}
cd "$scratch/tree" || exit 1
printf '<table>\n<tr>\n</tr></table>' >page.htm

out=$(env -u GITHUB_ACTIONS bash -c "$snippet" 2>&1)
[ $? -eq 1 ] || fail "an untidy tree did not fail the step: $out"
grep -qxF "page.htm: would be tidied" <<<"$out" || fail "plain output: $out"
out=$(GITHUB_ACTIONS=true bash -c "$snippet" 2>&1)
grep -qxF "::error file=page.htm::would be tidied" <<<"$out" ||
  fail "GitHub output: $out"
printf '<table>\r\n  <tr>\r\n  </tr></table>' >page.htm
env -u GITHUB_ACTIONS bash -c "$snippet" >/dev/null 2>&1 ||
  fail "a tidy tree failed the step"
echo "CI snippet: all cases passed"
