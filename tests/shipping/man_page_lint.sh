#!/usr/bin/env bash
# Lints the manual page with every checker that is installed: mandoc and
# groff must both take it without a warning, and man must render it at 80
# and 100 columns without a warning and without a line wider than that.
# Usage: man_page_lint.sh PAGE
set -uo pipefail
export LC_ALL=C.UTF-8  # ${#line} counts characters, not bytes
page=$1
checked=0
if command -v mandoc >/dev/null; then
  mandoc -Tlint -W warning "$page" || { echo "FAIL: mandoc -Tlint"; exit 1; }
  checked=1
fi
if command -v groff >/dev/null; then
  warnings=$(groff -t -man -ww -z "$page" 2>&1)
  [ -z "$warnings" ] || { echo "FAIL: groff -ww:"; echo "$warnings"; exit 1; }
  checked=1
fi
if command -v man >/dev/null; then
  for width in 80 100; do
    rendered=$(MANWIDTH=$width MANPAGER=cat LC_ALL=C.UTF-8 \
      man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$rendered" ] ||
      { echo "FAIL: man at $width columns:"; echo "$rendered"; exit 1; }
    wide=$(MANWIDTH=$width MANPAGER=cat LC_ALL=C.UTF-8 man -l "$page" 2>/dev/null |
      while IFS= read -r line; do
        [ ${#line} -le "$width" ] || printf '%s\n' "$line"
      done)
    [ -z "$wide" ] ||
      { echo "FAIL: lines wider than $width columns:"; echo "$wide"; exit 1; }
  done
  checked=1
fi
if [ $checked = 0 ]; then
  echo "SKIP: neither mandoc nor groff is installed (apt-get install mandoc)"
  exit 77
fi
echo "man page: no warnings"
