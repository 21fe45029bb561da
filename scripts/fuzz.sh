#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) in build-fuzz and runs
# each one for a bounded time, starting from fuzz/seeds and the corpus kept
# in build-fuzz/corpus from earlier runs.
#   scripts/fuzz.sh [SECONDS_PER_TARGET] [smoke]
# With "smoke", a machine without clang's fuzzer runtime skips with a message
# instead of failing. A crash or broken property fails the run and leaves the
# input in build-fuzz/crashes/.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-150}
smoke=${2:-}
build=build-fuzz

unavailable() {
  if [ "$smoke" = smoke ]; then
    echo "fuzz smoke skipped: $1"
    exit 0
  fi
  echo "fuzz: $1" >&2
  exit 1
}

command -v clang++ >/dev/null 2>&1 ||
  unavailable "clang++ not found (apt-get install clang libclang-rt-dev)"
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }' \
  >"$probe/probe.cc"
clang++ -fsanitize=fuzzer "$probe/probe.cc" -o "$probe/probe" >/dev/null 2>&1 ||
  unavailable "clang's libFuzzer runtime is missing (apt-get install libclang-rt-dev)"

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
cmake "${generator[@]}" -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAGFMT_WERROR=ON -DTAGFMT_TESTS=OFF \
  -DTAGFMT_FUZZ=ON \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
  >/dev/null
cmake --build "$build" -j2

mkdir -p "$build/crashes"
for target in format_fuzzer reference_fuzzer byte_scan_fuzzer line_ends_fuzzer lsp_fuzzer \
  config_fuzzer; do
  corpus="$build/corpus/$target"
  log="$build/$target.log"
  mkdir -p "$corpus"
  # The page targets get the words of pages; seeds are shared with format.
  options=()
  seeds="fuzz/seeds/${target%_fuzzer}"
  case $target in
    format_fuzzer | reference_fuzzer | byte_scan_fuzzer)
      options=(-dict=fuzz/pages.dict)
      seeds=fuzz/seeds/format
      ;;
  esac
  echo "fuzzing $target for ${seconds}s"
  if ! "$build/fuzz/$target" -max_total_time="$seconds" -max_len=4096 \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$build/crashes/$target-" "${options[@]}" \
      "$corpus" "$seeds" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "fuzz: $target failed; the input is in $build/crashes/" >&2
    exit 1
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  peak=$(sed -n 's/^stat::peak_rss_mb: *//p' "$log")
  echo "  $target: $runs runs, $rate runs/s, peak ${peak} MB, corpus $(ls "$corpus" | wc -l) inputs"
  passes=$(sed -n 's/^most passes to settle: //p' "$log" | tail -n 1)
  [ -z "$passes" ] || echo "  $target: the most passes any input needed to settle: $passes"
done
