// Where faults and notes stand in their text: lines and byte columns,
// worked out from the byte offsets the pass and explain record.
#pragma once

#include <cstddef>
#include <string_view>

#include "format/explain.h"
#include "format/format.h"

namespace tagfmt {

// One past the last byte of the construct whose "<" is at `at` in `text`,
// by the pass's scanning rules: past its closing ">", or at the text's end
// or first NUL when it has none.
std::size_t constructEnd(std::string_view text, std::size_t at);

// Fills the spans of `faults` (found by formatText in `text`) and of
// `notes` (explaining them), from their offsets and lines. Reads the text
// once through, whatever the number of faults and notes.
void placeFaults(std::string_view text, NestingFaults& faults, Notes& notes);

}  // namespace tagfmt
