#!/usr/bin/env bash
# The hooks of .pre-commit-hooks.yaml under the pre-commit framework on a
# scratch repository with a vendor/ folder: pre-commit names every staged
# file, and the hooks' --force-exclude keeps out what .tagfmt.toml or an
# --exclude in args leaves out; a hook without it tidies vendor/ too.
# Usage: pre_commit_exclude.sh TAGFMT_CHECK SOURCE_DIR
set -uo pipefail
check=$1
src=$2
# shellcheck source=tests/shipping/pre_commit_setup.sh
. "$(dirname "$0")/pre_commit_setup.sh"
rev=$(git -C "$hooks" rev-parse HEAD)

untidy=$'<table>\n<tr><td>a</td></tr>\n</table>\n'
mkdir -p "$scratch/work"
cd "$scratch/work" || exit 1
git init -q
# (re)writes the pages, untidy, and stages them with CONFIG as the hooks'.
pages() {
  rm -rf vendor site page.htm
  mkdir -p vendor/lib site/gen
  for f in page.htm vendor/v.htm vendor/lib/jq.html site/gen/g.htm; do
    printf '%s' "$untidy" >"$f"
  done
  printf '%s' "$1" >.pre-commit-config.yaml
  git add -A
}
run() { pre-commit run --color never --all-files >"$log" 2>&1; }
untouched() {
  for f in "$@"; do
    [ "$(cat "$f")" = "${untidy%$'\n'}" ] || fail "$f was changed"
    grep -qF "$f" "$log" && fail "$f was named"
  done
}
tidied() {
  for f in "$@"; do
    grep -qxF "$f: tidied" "$log" || fail "$f was not tidied"
  done
}
remote() {
  printf 'repos:\n  - repo: %s\n    rev: %s\n    hooks:\n      - id: %s\n' \
    "$hooks" "$rev" "$1"
  [ -n "${2:-}" ] && printf '        args: %s\n' "$2"
}

# The tidy hook, with .tagfmt.toml leaving vendor/ out.
printf 'exclude = ["vendor/"]\n' >.tagfmt.toml
pages "$(remote tagfmt)"
run && fail "the tidy hook passed while changing page.htm"
tidied page.htm site/gen/g.htm
untouched vendor/v.htm vendor/lib/jq.html

# The check hook, likewise: it fails on page.htm alone.
pages "$(remote tagfmt-check)"
run && fail "the check hook passed an untidy page"
grep -qxF "page.htm: would be tidied" "$log" || fail "page.htm was not named"
untouched vendor/v.htm vendor/lib/jq.html

# An --exclude in args, anchored at the top, with no config file.
git rm -q --cached .tagfmt.toml && rm .tagfmt.toml
pages "$(remote tagfmt '[--exclude, ./site, --exclude, vendor/, --]')"
run && fail "the tidy hook passed while changing page.htm"
tidied page.htm
untouched site/gen/g.htm vendor/v.htm vendor/lib/jq.html

# Without --force-exclude, the named vendor pages are tidied: what the
# hooks' entries guard against.
pages "repos:
  - repo: local
    hooks:
      - id: plain
        name: plain
        entry: tagfmt-check --fix --exclude vendor/
        language: system
        files: '\\.(htm|html)\$'
"
run && fail "the plain hook passed while changing pages"
tidied page.htm vendor/v.htm
echo "pre-commit excludes: all cases passed"
