#!/usr/bin/env bash
# Lints the manual page with every checker that is installed: mandoc and
# groff must both take it without a warning.
# Usage: man_page_lint.sh PAGE
set -uo pipefail
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
if [ $checked = 0 ]; then
  echo "SKIP: neither mandoc nor groff is installed (apt-get install mandoc)"
  exit 77
fi
echo "man page: no warnings"
