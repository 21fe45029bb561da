#!/usr/bin/env bash
# The playground page: builds it with emscripten and runs the browser test
# in headless Chromium (web/test/browser_test.mjs), which compares it with
# the native tools. The screenshot lands in BUILD_DIR/playground.png.
# Usage: playground.sh SOURCE_DIR TAGFMT TAGFMT_CHECK BUILD_DIR
set -euo pipefail
src=$1
tool=$2
check=$3
build=$4
skip() { echo "SKIP: $*"; exit 77; }

command -v em++ >/dev/null || skip "no emscripten (apt-get install emscripten)"
chromium=${CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || skip "no Chromium at $chromium (apt-get install chromium)"
command -v node >/dev/null || skip "no Node.js"
[ -d "$src/web/test/node_modules/puppeteer-core" ] ||
  skip "no puppeteer-core (cd web/test && npm ci)"

page=$build/playground-web
"$src/web/build.sh" "$page" >/dev/null
CHROMIUM=$chromium node "$src/web/test/browser_test.mjs" "$page" "$tool" "$check" \
  "$src" "$build"
