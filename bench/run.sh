#!/usr/bin/env bash
# make bench: the engine's speed in-process, then whole runs of the tool on a
# scratch copy of the corpus against cat, xmllint --format, tidy and prettier,
# with syncs made free (eatmydata) and made slow (a 10 ms shim), peak memory
# on a 50 MB file, a 50 MB file to tidy, how time grows with size and count,
# and tagfmt-check's peak memory in each mode.
# Figures are medians of several runs; ratios are what the targets check.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
tool=$root/build/tagfmt
engine=$root/build-bench/tagfmt_bench
corpus=${CORPUS:-$root/../shared/corpus}
runs=${RUNS:-5}
results=$root/build/bench-results.txt

if [ ! -d "$corpus" ]; then
  echo "bench: no corpus at $corpus (set CORPUS=folder of .html/.xsl files)"
  exit 0
fi
if ! command -v tidy >/dev/null || ! command -v xmllint >/dev/null || [ ! -x /usr/bin/time ] ||
   ! command -v eatmydata >/dev/null || ! command -v strace >/dev/null; then
  if [ "$(id -u)" = 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q tidy libxml2-utils time eatmydata strace >/dev/null 2>&1 ||
      echo "bench: could not install tidy, xmllint, time, eatmydata or strace; their rows are skipped"
  fi
fi

scratch=$(mktemp -d /var/tmp/tagfmt-bench-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
exec > >(tee "$results") 2>&1

# Prints the median wall time in seconds of running "$@" $runs times; a
# setup command in $before runs untimed before each run.
median() {
  local times=() start end
  for _ in $(seq "$runs"); do
    [ -n "${before:-}" ] && eval "$before"
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    times+=($(( (end - start) / 1000 )))
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { printf "%.4f\n", t[int((NR + 1) / 2)] / 1e6 }'
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }'; }
verdict() { awk -v r="$1" -v t="$2" -v op="$3" 'BEGIN { ok = (op == "<=") ? r <= t : r >= t; print ok ? "PASS" : "MISS" }'; }
row() { printf '%-58s %10s\n' "$1" "$2"; }

echo "== tagfmt benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, medians of $runs runs"
echo
echo "-- engine in-process (Google Benchmark, median of 3 repetitions)"
"$engine" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2>/dev/null |
  awk '/_median/ { for (i = 1; i <= NF; i++) if ($i ~ /bytes_per_second=/) { sub("bytes_per_second=", "", $i); sub("_median", "", $1); printf "%-58s %10s\n", $1, $i } }'
echo

# The corpus, flat, under names of its own.
mkdir "$scratch/pages"
n=0
find "$corpus" -type f \( -name '*.html' -o -name '*.htm' -o -name '*.xsl' \) | sort | while read -r f; do
  n=$((n + 1)); cp "$f" "$scratch/pages/$n.${f##*.}"
done
cd "$scratch/pages"
mapfile -t pages < <(ls)
size=$(cat "${pages[@]}" | wc -c)
echo "-- whole runs on ${#pages[@]} real files, $((size / 1024)) KiB"

cat_time=$(median cat "${pages[@]}")
# Each rewriting run starts from a fresh copy, synced so that writing the
# copy back is not charged to the run.
before="rm -rf $scratch/run && cp -r $scratch/pages $scratch/run && sync && cd $scratch/run"
rewrite=$(median "$tool" "${pages[@]}")
# Let the writes of the first run reach the disk, so that their write-back
# does not slow the runs measured next.
sync
before="cd $scratch/run"
tidyrun=$(median "$tool" "${pages[@]}")
cat_after=$(median cat "${pages[@]}")
before="cd $scratch/pages"
row "cat of the files (s)" "$cat_time"
row "tagfmt, first run: backs up and rewrites (s)" "$rewrite"
row "tagfmt, second run: nothing to write (s)" "$tidyrun"
r=$(ratio "$tidyrun" "$cat_after"); row "second run / cat of the same files (target <= 1.2)" "$r $(verdict "$r" 1.2 '<=')"
fresh() { echo "rm -rf $scratch/$1 && cp -r $scratch/pages $scratch/$1 && sync && cd $scratch/$1"; }

# Syncs: how many the rewriting run makes, what it costs with them free and
# with each made to wait 10 ms, as on a spinning disk.
eval "$(fresh count)"
"$tool" "${pages[@]}" > "$scratch/said.txt"
rewritten=$(( $(grep -c '^   writing ' "$scratch/said.txt" || true) - $(grep -c '^   writing .*\.bak$' "$scratch/said.txt" || true) ))
row "files the first run rewrites" "$rewritten"
# Bytes the rewriting run hands to write calls (a waited-for child's count
# joins its shell's). On the replace road the backup is the old file itself
# and costs no write; a second link to every file keeps them all on the
# in-place road, which every file took before the replace road.
written_kib() { bash -c '"$@" >/dev/null; awk "/^wchar/ { print int(\$2 / 1024) }" /proc/$$/io' _ "$tool" "${pages[@]}"; }
eval "$(fresh bytes)"
replaced_kib=$(written_kib)
eval "$(fresh bytes)"
mkdir ../links && for p in "${pages[@]}"; do ln "$p" "../links/$p"; done
inplace_kib=$(written_kib)
rm -rf ../links
row "KiB written by the first run, in place (before)" "$inplace_kib"
row "KiB written by the first run, replaced (after)" "$replaced_kib"
r=$(ratio "$replaced_kib" "$inplace_kib"); row "after / before (target <= 0.6)" "$r $(verdict "$r" 0.6 '<=')"
if command -v strace >/dev/null; then
  eval "$(fresh count)"
  strace -f -c -e trace=fsync,fdatasync,syncfs -o "$scratch/syncs.txt" "$tool" "${pages[@]}" >/dev/null
  syncs=$(awk '$NF ~ /^(fsync|fdatasync|syncfs)$/ { n += $4 } END { print n + 0 }' "$scratch/syncs.txt")
  row "full syncs (fsync, fdatasync, syncfs) in that run" "$syncs"
  r=$(ratio "$rewritten" "$syncs"); row "rewritten files per full sync (target >= 25)" "$r $(verdict "$r" 25 '>=')"
else
  echo "(no strace: the count of syncs is skipped; apt-get install strace)"
fi
free=$rewrite
if command -v eatmydata >/dev/null; then
  before=$(fresh free)
  free=$(median eatmydata "$tool" "${pages[@]}")
  row "first run with syncs made free, under eatmydata (s)" "$free"
  r=$(ratio "$rewrite" "$free"); row "first run / the same with syncs free (target <= 1.5)" "$r $(verdict "$r" 1.5 '<=')"
else
  echo "(no eatmydata: the run with syncs made free is skipped; apt-get install eatmydata)"
fi
if command -v cc >/dev/null && cc -shared -fPIC -O2 -o "$scratch/slow_sync.so" "$root/bench/slow_sync.c" -ldl 2>/dev/null; then
  before=$(fresh slow)
  slow=$(runs=3 median env LD_PRELOAD="$scratch/slow_sync.so" "$tool" "${pages[@]}")
  one_each=$(awk -v f="$free" -v n="$rewritten" 'BEGIN { printf "%.4f", f + n * 0.010 }')
  row "first run, each sync made to wait 10 ms (s)" "$slow"
  row "  one 10 ms sync per rewritten file would take (s)" "$one_each"
  r=$(ratio "$one_each" "$slow"); row "that / the run with slow syncs (target >= 10)" "$r $(verdict "$r" 10 '>=')"
else
  echo "(no C compiler: the run with slow syncs is skipped)"
fi
before="cd $scratch/pages"
# The peers write no backup and make no sync; beside the rewriting run, each
# is also set against tagfmt-check deciding on the same files and writing
# nothing, as xmllint does.
check_time=
if [ -x "$root/build/tagfmt-check" ]; then
  check_time=$(median "$root/build/tagfmt-check" "${pages[@]}")
  row "tagfmt-check, the same files, writing nothing (s)" "$check_time"
fi
if command -v xmllint >/dev/null; then
  xml=$(median xmllint --format "${pages[@]}")
  row "xmllint --format, writing nothing (s)" "$xml"
  r=$(ratio "$xml" "$rewrite"); row "xmllint / tagfmt rewriting run (target >= 6)" "$r $(verdict "$r" 6 '>=')"
  [ -n "$check_time" ] && row "xmllint / tagfmt-check, both writing nothing" "$(ratio "$xml" "$check_time")"
fi
if command -v tidy >/dev/null; then
  before="rm -rf $scratch/tidy && cp -r $scratch/pages $scratch/tidy && sync && cd $scratch/tidy"
  tidy_time=$(median tidy -m -i -q "${pages[@]}")
  before="cd $scratch/pages"
  row "tidy -m -i -q, rewriting (s)" "$tidy_time"
  r=$(ratio "$tidy_time" "$rewrite"); row "tidy / tagfmt rewriting run (target >= 25)" "$r $(verdict "$r" 25 '>=')"
  [ -n "$check_time" ] && row "tidy / tagfmt-check" "$(ratio "$tidy_time" "$check_time")"
fi
# prettier with its XML plugin, from npm into the scratch folder, where npm
# can be reached.
if command -v npm >/dev/null &&
   (cd "$scratch" && npm install --silent --no-audit --no-fund prettier @prettier/plugin-xml >/dev/null 2>&1); then
  prettier=("$scratch/node_modules/.bin/prettier" --plugin=@prettier/plugin-xml --parser xml)
  mapfile -t xsl < <(printf '%s\n' "${pages[@]}" | grep '\.xsl$')
  before="cd $scratch/pages"
  pretty=$(runs=3 median "${prettier[@]}" --check "${xsl[@]}")
  before="$(fresh xslrun)"
  xsl_tagfmt=$(median "$tool" "${xsl[@]}")
  row "prettier --plugin=@prettier/plugin-xml, ${#xsl[@]} .xsl files (s)" "$pretty"
  r=$(ratio "$pretty" "$xsl_tagfmt"); row "prettier / tagfmt rewriting the same files" "$r"
else
  echo "(prettier and @prettier/plugin-xml could not be installed from npm: its row is skipped)"
fi

# Four times the files: time should grow four times.
mkdir "$scratch/many"
for copy in 1 2 3 4; do for p in "${pages[@]}"; do cp "$scratch/run/$p" "$scratch/many/$copy-$p"; done; done
cd "$scratch/many"
mapfile -t many < <(ls)
"$tool" "${many[@]}" >/dev/null
sync
before="cd $scratch/many"
many_time=$(median "$tool" "${many[@]}")
r=$(ratio "$many_time" "$tidyrun"); row "4x the files / 1x, nothing to write (linear: target <= 4.8)" "$r $(verdict "$r" 4.8 '<=')"
echo

# A large tidy file: pages that nest soundly and end outside any construct,
# joined until 50 MB, then formatted until the tool has nothing to change.
echo "-- one large file"
cd "$scratch/run"
sound=()
for p in "${pages[@]}"; do
  { cat "$p"; printf '</table>'; } > "$scratch/probe.htm"
  if (cd "$scratch" && "$tool" probe.htm) | grep -q 'unexpected </table>' &&
     ! (cd "$scratch" && "$tool" "run/$p") | grep -q Nesting; then
    sound+=("$p")
  fi
done
cd "$scratch"
: > big.htm
while [ "$(stat -c %s big.htm)" -lt 52428800 ]; do (cd run && cat "${sound[@]}") >> big.htm; done
for _ in 1 2 3; do "$tool" big.htm >/dev/null; done
head -c 5242880 big.htm > small.htm
"$tool" small.htm small.htm small.htm >/dev/null
big=$(stat -c %s big.htm)
rm -f ./*.bak
# Files written in the last two seconds are read into memory, to be compared
# byte for byte before they are written; older ones are mapped.
touch -d '-1 minute' big.htm small.htm
before="cd $scratch"
big_time=$(median "$tool" big.htm)
big_cat=$(median cat big.htm)
small_time=$(median "$tool" small.htm)
row "tagfmt on $((big / 1048576)) MB already tidy (s)" "$big_time"
r=$(ratio "$big_time" "$big_cat"); row "that / cat of it (target <= 3)" "$r $(verdict "$r" 3 '<=')"
r=$(ratio "$big_time" "$small_time"); row "50 MB / 5 MB (linear: target <= 12)" "$r $(verdict "$r" 12 '<=')"
if [ -x /usr/bin/time ]; then
  peak=$(/usr/bin/time -f %M "$tool" big.htm 2>&1 >/dev/null | tail -1)
  tr -d '\r' < big.htm > lf.htm
  lf=$(stat -c %s lf.htm)
  peak_rw=$(/usr/bin/time -f %M "$tool" lf.htm 2>&1 >/dev/null | tail -1)
  limit=$(awk -v s="$big" 'BEGIN { printf "%d", (1.2 * s + 16 * 1048576) / 1024 }')
  limit_rw=$(awk -v s="$lf" 'BEGIN { printf "%d", (3.5 * s + 8 * 1048576) / 1024 }')
  row "peak memory, tidy file, KiB (target <= $limit)" "$peak $( [ "$peak" -le "$limit" ] && echo PASS || echo MISS)"
  row "peak memory, LF file rewritten, KiB (target <= $limit_rw)" "$peak_rw $( [ "$peak_rw" -le "$limit_rw" ] && echo PASS || echo MISS)"
fi
echo

# Growth: ten times the tidy page costs at most 10.5 times, in time and in
# memory.
if [ -x /usr/bin/time ]; then
  : > huge.htm
  for _ in $(seq 10); do cat big.htm >> huge.htm; done
  touch -d '-1 minute' huge.htm
  huge_time=$(runs=3 median "$tool" huge.htm)
  huge_peak=$(/usr/bin/time -f %M "$tool" huge.htm 2>&1 >/dev/null | tail -1)
  row "tagfmt on $(( $(stat -c %s huge.htm) / 1048576 )) MB already tidy (s)" "$huge_time"
  r=$(ratio "$huge_time" "$big_time"); row "10x the page / 1x, time (target <= 10.5)" "$r $(verdict "$r" 10.5 '<=')"
  r=$(ratio "$huge_peak" "$peak"); row "10x the page / 1x, peak memory (target <= 10.5)" "$r $(verdict "$r" 10.5 '<=')"
  rm -f huge.htm
fi
echo

# tagfmt-check's peak memory in each mode: on a large page of real pages,
# and on a dense page of nested tables that tidies to many times its size.
echo "-- tagfmt-check, peak memory"
check=$root/build/tagfmt-check
if [ -x /usr/bin/time ] && [ -x "$check" ]; then
  : > large.htm
  for _ in $(seq 6); do cat lf.htm >> large.htm; done
  awk 'BEGIN { for (i = 0; i < 700000; i++) printf "<table><tr><td><table><tr><td>x</td></tr></table></td></tr></table>\n" }' > dense.htm
  for page in large.htm dense.htm; do
    size=$(stat -c %s "$page")
    if [ "$page" = large.htm ]; then
      limit=$(awk -v s="$size" 'BEGIN { printf "%d", (2.5 * s + 64 * 1048576) / 1024 }')
    else
      limit=$((192 * 1024))
    fi
    for mode in "" -l --diff --stdout "--format json"; do
      # shellcheck disable=SC2086
      used=$({ /usr/bin/time -f %M "$check" $mode "$page" 2>&1 >/dev/null || true; } | tail -1)
      row "$page ($((size / 1048576)) MB) ${mode:-check}, KiB (target <= $limit)" \
        "$used $( [ "$used" -le "$limit" ] && echo PASS || echo MISS)"
    done
  done
  rm -f large.htm dense.htm
else
  echo "(no /usr/bin/time or tagfmt-check: its memory is not measured)"
fi
echo

# A sound file that needs tidying throughout, against the floor of writing
# its backup and its new text: two cats into new files.
echo "-- one large file to tidy, syncs made free"
cd "$scratch"
awk 'BEGIN { for (i = 0; i < 1300000; i++) printf "<table>\n<tr><td>x</td>\n</tr>\n</table>\n" }' > untidy-source.htm
free_run=()
command -v eatmydata >/dev/null && free_run=(eatmydata) ||
  echo "(no eatmydata: this run keeps its syncs)"
before="cd $scratch && rm -f untidy.bak && cp untidy-source.htm untidy.htm && touch -d '-1 minute' untidy.htm && sync"
untidy_time=$(median "${free_run[@]}" "$tool" untidy.htm)
before="cd $scratch && rm -f a b && sync"
floor=$(median sh -c 'cat untidy-source.htm > a; cat untidy-source.htm > b')
row "tagfmt on $(( $(stat -c %s untidy-source.htm) / 1048576 )) MB to tidy (s)" "$untidy_time"
row "cat of it into two new files (s)" "$floor"
r=$(ratio "$untidy_time" "$floor"); row "tagfmt / that floor (target <= 3)" "$r $(verdict "$r" 3 '<=')"
if [ -x /usr/bin/time ]; then
  rm -f untidy.bak && cp untidy-source.htm untidy.htm && touch -d '-1 minute' untidy.htm
  peak=$(/usr/bin/time -f %M "${free_run[@]}" "$tool" untidy.htm 2>&1 >/dev/null | tail -1)
  row "peak memory tidying it, KiB" "$peak"
fi
echo

# The language server: a space typed into a 1 MB document made of the
# corpus pages, until its diagnostics are published (debounce included).
echo "-- tagfmt-lsp, a change to a 1 MB document"
if [ -x "$root/build-bench/lsp/tagfmt_lsp_bench" ]; then
  read -r bytes count median slowest < <("$root/build-bench/lsp/tagfmt_lsp_bench" \
    "$root/build/lsp/tagfmt-lsp" "$scratch"/pages/*)
  row "document of $bytes bytes, $count diagnostics" ""
  row "change to diagnostics, median of 21 (ms, target <= 50)" \
    "$median $(verdict "$median" 50 '<=')"
  row "change to diagnostics, slowest of 21 (ms)" "$slowest"
else
  echo "(no tagfmt_lsp_bench: the language server is not measured)"
fi
echo
echo "(written to $results)"
