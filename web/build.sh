#!/usr/bin/env bash
# Builds the playground page into OUT_DIR (default build-web): index.html
# with the engine in WebAssembly inside it, its style sheet and its script.
# Usage: web/build.sh [OUT_DIR]
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-build-web}
command -v em++ >/dev/null ||
  { echo "the playground needs emscripten: apt-get install emscripten"; exit 1; }
# Debian's emscripten runs its JavaScript tools with Node's own modules.
export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}

mkdir -p "$out"
objects=$(mktemp -d)
trap 'rm -rf "$objects"' EXIT
# nlohmann-json is header-only: a folder holding a link to it alone, so
# that em++ sees none of the host's other headers.
mkdir -p "$objects/include"
ln -s /usr/include/nlohmann "$objects/include/nlohmann"
flags=(-std=c++20 -O2 -Wall -Wextra -Wpedantic -Werror -I"$src"
  -isystem "$objects/include")
sources=(format/byte_scan.cc format/tag_rules.cc format/scanner.cc format/work_text.cc
  format/element_stack.cc format/format_text.cc format/explain.cc format/layout_notes.cc format/places.cc
  format/line_ends.cc format/decision.cc format/seam_off.cc report/file_report.cc report/messages.cc report/names.cc report/wording.cc report/json.cc
  web/playground.cc
  web/exports.cc)
for source in "${sources[@]}"; do
  em++ "${flags[@]}" -c "$src/$source" -o "$objects/$(basename "$source" .cc).o"
done
em++ -O2 "$objects"/*.o -o "$out/index.html" \
  --shell-file "$src/web/index.html" \
  -sSINGLE_FILE=1 -sMINIFY_HTML=0 -sALLOW_MEMORY_GROWTH=1 -sDISABLE_EXCEPTION_CATCHING=0 \
  -sEXPORTED_FUNCTIONS=_malloc,_free,_tfTidy,_tfOutputData,_tfOutputSize,_tfTagRules \
  -sEXPORTED_RUNTIME_METHODS=UTF8ToString
cp "$src/web/style.css" "$src/web/page.js" "$out/"
echo "built $out/index.html"
