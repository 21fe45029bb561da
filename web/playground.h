// What the playground page shows for a text: the bytes tagfmt would leave in
// the file and the messages it would print, found without any file I/O.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/format.h"

namespace tagfmt {

// One message tagfmt would print about the file. `line` is the input line
// it points at (counted from 1 by LF, as the engine counts), or 0 when it
// points at none.
struct PageMessage {
  std::uint64_t line;
  std::string text;  // byte for byte as tagfmt prints it, with its "\n"
};

struct PageResult {
  // True when tagfmt would rewrite the file; false when it leaves the file
  // alone, because nothing changed or because of a message.
  bool written = false;
  // The rewritten file when `written`, else empty: the file keeps its bytes.
  std::string text;
  std::vector<PageMessage> messages;
  // tagfmt-check's notes on why the file is refused or what swallowed its
  // tags, each as the whole line it prints ("NAME:LINE: note: ...\n"), in
  // its order.
  std::vector<PageMessage> notes;
};

// Runs tagfmt's file job on `input` as if it were the only file of a run
// with `options`, so marker numbers start at 1; the notes name the file
// `fileName`.
PageResult tidyForPage(std::string_view input, const RunOptions& options,
                       const std::string& fileName);

// The result's flag, messages and notes as a JSON object (the text stays
// out): {"written":false,"messages":[{"line":3,"text":"-> ...\n"}],
// "notes":[]}.
std::string pageResultJson(const PageResult& result);

// kTagRules as a JSON array of objects with the rule's fields, in order.
std::string tagRulesJson();

}  // namespace tagfmt
