#!/usr/bin/env bash
# make bench: the engine's speed in-process, then whole runs of the tool on a
# scratch copy of the corpus against cat, xmllint --format and tidy, peak
# memory on a 50 MB file, and how time grows with size and file count.
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
if [ "$(id -u)" = 0 ] && ! command -v tidy >/dev/null || ! command -v xmllint >/dev/null || [ ! -x /usr/bin/time ]; then
  if [ "$(id -u)" = 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q tidy libxml2-utils time eatmydata strace >/dev/null 2>&1 ||
      echo "bench: could not install tidy, xmllint or time; their rows are skipped"
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
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v t="$2" -v op="$3" 'BEGIN { ok = (op == "<=") ? r <= t : r >= t; print ok ? "meets" : "MISSES" }'; }
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
r=$(ratio "$tidyrun" "$cat_after"); row "second run / cat of the same files (target <= 1.5)" "$r $(verdict "$r" 1.5 '<=')"
# Backups are made durable a batch at a time: the rewriting run against the
# same run with syncs made free, and how many syncs it makes.
if command -v eatmydata >/dev/null; then
  before="rm -rf $scratch/free && cp -r $scratch/pages $scratch/free && sync && cd $scratch/free"
  free=$(median eatmydata "$tool" "${pages[@]}")
  row "the first run with syncs made free (eatmydata) (s)" "$free"
  r=$(ratio "$rewrite" "$free"); row "first run / with free syncs (target <= 1.5)" "$r $(verdict "$r" 1.5 '<=')"
fi
if command -v strace >/dev/null; then
  rm -rf "$scratch/free" && cp -r "$scratch/pages" "$scratch/free" && cd "$scratch/free"
  rewritten=$(strace -f -qq -o "$scratch/syncs.log" -e trace=fsync,fdatasync,syncfs,sync "$tool" "${pages[@]}" | grep -c '^   writing' || true)
  rewritten=$((rewritten / 2))
  syncs=$(wc -l < "$scratch/syncs.log")
  r=$(ratio "$((syncs * 25))" "$rewritten")
  row "full syncs per 25 rewritten files ($syncs for $rewritten) (target <= 1)" "$r $(verdict "$r" 1 '<=')"
  cd "$scratch/pages"
fi
if command -v xmllint >/dev/null; then
  xml=$(median xmllint --format "${pages[@]}")
  row "xmllint --format, writing nothing (s)" "$xml"
  r=$(ratio "$xml" "$rewrite"); row "xmllint / tagfmt rewriting run (target >= 1.5)" "$r $(verdict "$r" 1.5 '>=')"
fi
if command -v tidy >/dev/null; then
  before="rm -rf $scratch/tidy && cp -r $scratch/pages $scratch/tidy && sync && cd $scratch/tidy"
  tidy_time=$(median tidy -m -i -q "${pages[@]}")
  before="cd $scratch/pages"
  row "tidy -m -i -q, rewriting (s)" "$tidy_time"
  r=$(ratio "$tidy_time" "$rewrite"); row "tidy / tagfmt rewriting run (target >= 10)" "$r $(verdict "$r" 10 '>=')"
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
r=$(ratio "$many_time" "$tidyrun"); row "4x the files / 1x, nothing to write (linear: about 4)" "$r"
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
before="cd $scratch"
big_time=$(median "$tool" big.htm)
big_cat=$(median cat big.htm)
small_time=$(median "$tool" small.htm)
row "tagfmt on $((big / 1048576)) MB already tidy (s)" "$big_time"
r=$(ratio "$big_time" "$big_cat"); row "that / cat of it (target <= 4)" "$r $(verdict "$r" 4 '<=')"
r=$(ratio "$big_time" "$small_time"); row "50 MB / 5 MB (linear: about 10)" "$r"
if [ -x /usr/bin/time ]; then
  peak=$(/usr/bin/time -f %M "$tool" big.htm 2>&1 >/dev/null | tail -1)
  tr -d '\r' < big.htm > lf.htm
  lf=$(stat -c %s lf.htm)
  peak_rw=$(/usr/bin/time -f %M "$tool" lf.htm 2>&1 >/dev/null | tail -1)
  limit=$(awk -v s="$big" 'BEGIN { printf "%d", (3.5 * s + 8 * 1048576) / 1024 }')
  limit_rw=$(awk -v s="$lf" 'BEGIN { printf "%d", (3.5 * s + 8 * 1048576) / 1024 }')
  row "peak memory, tidy file, KiB (target <= $limit)" "$peak $( [ "$peak" -le "$limit" ] && echo meets || echo MISSES)"
  row "peak memory, LF file rewritten, KiB (target <= $limit_rw)" "$peak_rw $( [ "$peak_rw" -le "$limit_rw" ] && echo meets || echo MISSES)"
fi
echo
echo "(written to $results)"
