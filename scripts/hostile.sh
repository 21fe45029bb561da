#!/usr/bin/env bash
# Runs the Release tool on huge and hostile input and reports, for each case,
# the wall time, the peak memory (from /usr/bin/time -v) and the first line
# it printed.
#   scripts/hostile.sh [TOOL]        (default build/tagfmt)
# The inputs are made in a scratch folder under ${TMPDIR:-/tmp} and removed
# after. The 2 GiB text case needs about 5 GiB of memory and 2 GiB of disk;
# it is skipped when the machine has less.
set -eu  # no pipefail: "yes | head" ends yes with SIGPIPE
cd "$(dirname "$0")/.."
tool=$(realpath "${1:-build/tagfmt}")
[ -x "$tool" ] || { echo "hostile: build the tool first (make)" >&2; exit 1; }
[ -x /usr/bin/time ] || { echo "hostile: /usr/bin/time is missing (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/tagfmt-hostile-XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"

printf '%-44s %10s %9s %10s  %s\n' case input seconds "peak MiB" "first line said"
# run NAME WORDS...: runs the tool on WORDS and prints one row.
run() {
  local name=$1 size
  shift
  size=$(stat -c %s "${@: -1}" 2>/dev/null || echo -)
  /usr/bin/time -v -o time.txt "$tool" "$@" >out.txt
  local seconds peak first
  seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' time.txt)
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)
  first=$(head -c 200 out.txt | head -n 1)
  [ -s out.txt ] && first="$first ($(wc -l <out.txt) lines)"
  printf '%-44s %10s %9s %10s  %s\n' "$name" "$size" "$seconds" "$((peak / 1024))" "$first"
}

repeat() { # repeat TEXT BYTES: TEXT over and over, whole, up to BYTES
  yes "$1" | tr -d '\n' | head -c "$(($2 / ${#1} * ${#1}))"
}

repeat '<table>' 1400000 >nested.htm
run "200,000 nested tags never closed" nested.htm
{ yes '<table>' | head -n 200000; yes '</table>' | head -n 200000; } >closed.htm
run "200,000 nested tags, closed, one a line" closed.htm
repeat 'a' 100000000 >flat.htm
run "100 MB of text with no line break" flat.htm
repeat '<table><tr><td>x</td></tr></table>' 100000000 >tags.htm
run "100 MB of tags with no line break" tags.htm
repeat '<table><tr><td>x</td></tr></table>' 100000000 >tags.htm
run "  the same, marker mode" + tags.htm
repeat '<' 100000000 >lt.htm
run "100 MB of \"<\"" lt.htm
repeat '"' 100000000 >quotes.htm
run "100 MB of double quotes" quotes.htm
for b in $(seq 0 255); do printf "\\$(printf %03o "$b")"; done >bytes.htm
for _ in $(seq 16); do cat bytes.htm bytes.htm >twice && mv twice bytes.htm; done
run "every byte value, 16 MiB" bytes.htm
tr -d '\000' <bytes.htm >nonul.htm
run "every byte value but NUL, 16 MiB" nonul.htm
echo a >p.htm
mapfile -t names < <(yes p.htm | head -n 100000)
run "100,000 arguments (one file 100,000 times)" "${names[@]}"
run "name of 10,000 bytes" "$(head -c 10000 </dev/zero | tr '\0' n)"
run "empty name" ""
truncate -s 2G sparse.htm
run "2 GiB sparse file (all NUL)" sparse.htm
truncate -s 2147483649 sparse.htm
run "2 GiB + 1 sparse file (all NUL)" sparse.htm
rm -f sparse.htm
available_kib=$(sed -n 's/^MemAvailable: *\([0-9]*\) kB/\1/p' /proc/meminfo)
free_kib=$(df -Pk . | awk 'NR == 2 { print $4 }')
if [ "$available_kib" -gt $((8 * 1024 * 1024)) ] && [ "$free_kib" -gt $((4 * 1024 * 1024)) ]; then
  repeat 'a' 2147483649 >big.htm
  run "2 GiB + 1 of text, no line break" big.htm
  run "  the same, line ends only" -w big.htm
  rm -f big.htm
else
  echo "2 GiB of text: skipped, needs 8 GiB of free memory and 4 GiB of disk"
fi
