#!/usr/bin/env bash
# Runs tagfmt on a scratch copy of examples/ and shows what it said and did.
set -euo pipefail
tool=$(realpath "${1:-build/tagfmt}")
cd "$(dirname "$0")/.."
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cp examples/* "$scratch"

show() {
  echo "\$ tagfmt $*"
  (cd "$scratch" && "$tool" "$@")
  echo
}

show orders.htm catalog.xsl marked.htm broken.htm
for f in orders.htm catalog.xsl marked.htm broken.htm; do
  echo "--- changes to $f (line ends shown as they are now: CR LF) ---"
  if cmp -s "examples/$f" "$scratch/$f"; then
    echo "(untouched)"
  else
    diff -u --label "examples/$f" --label "$f" "examples/$f" "$scratch/$f" |
      sed 's/\r$/\\r/' || true
  fi
  echo
done

echo "A second run finds nothing to do and says nothing:"
show orders.htm catalog.xsl
echo "Marker mode (+) numbers each pair of recognised tags:"
show + marked.htm
sed 's/\r$//' "$scratch/marked.htm"; echo
echo
echo "Backups left beside the files: $(cd "$scratch" && ls ./*.bak | tr '\n' ' ')"
