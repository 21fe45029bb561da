// The functions the page's script calls in the WebAssembly build. Results
// live here until the next call, so the script can copy them out.
#include <emscripten/emscripten.h>

#include "format/format.h"
#include "web/playground.h"

namespace {

tagfmt::PageResult lastResult;
std::string lastJson;
std::string rulesJson;

}  // namespace

extern "C" {

// Runs the file job on `size` bytes at `text`, a file called `fileName`;
// `flags` bit 0 is marker mode, bit 1 line-ends-only mode. Returns the
// result as JSON (see pageResultJson); tfOutputData/tfOutputSize give the
// rewritten text.
EMSCRIPTEN_KEEPALIVE const char* tfTidy(const char* text, std::size_t size,
                                        int flags, const char* fileName) {
  tagfmt::RunOptions options;
  options.markerMode = (flags & 1) != 0;
  options.lineEndsOnly = (flags & 2) != 0;
  lastResult = tagfmt::tidyForPage({text, size}, options, fileName);
  lastJson = tagfmt::pageResultJson(lastResult);
  return lastJson.c_str();
}

EMSCRIPTEN_KEEPALIVE const char* tfOutputData() {
  return lastResult.text.data();
}

EMSCRIPTEN_KEEPALIVE std::size_t tfOutputSize() {
  return lastResult.text.size();
}

// The tag rule table as JSON (see tagRulesJson).
EMSCRIPTEN_KEEPALIVE const char* tfTagRules() {
  if (rulesJson.empty()) rulesJson = tagfmt::tagRulesJson();
  return rulesJson.c_str();
}

}  // extern "C"
