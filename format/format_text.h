// The trace the reformatting pass (formatText, in format/format.h) keeps
// when asked: where its output differs, and the regions it copied.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace tagfmt {

// What the pass did where, for the notes that explain a change. Positions
// are in the input text.
enum class ChangeKind {
  kLayout,        // a line's indentation, a break or a marker differs
  kBreakRemoved,  // a source line break was joined to the next line
};

struct LayoutChange {
  std::size_t at;  // the line break's or the tag's first byte
  ChangeKind kind;
};

// A region the pass copied as it stands: from the byte after the "off"
// comment to the "on" comment's "<", or to the end of the text.
struct Region {
  std::size_t offAt;  // the "off" comment's "<"
  std::uint64_t offLine;
  std::size_t end;
  bool closed;  // an "on" comment ends it
};

struct FormatTrace {
  // The input ranges [first, second) whose changes are recorded, sorted
  // and apart: only where a change needs a note, so that a page made of
  // tags does not cost a record per tag.
  std::vector<std::pair<std::size_t, std::size_t>> watched;
  std::vector<LayoutChange> changes;  // in input order
  std::vector<Region> regions;
};

}  // namespace tagfmt
