// Positions in a document's bytes, and changes made by range.
#include "lsp/documents.h"

#include <algorithm>

namespace tagfmt::lsp {

LineIndex::LineIndex(std::string_view text, PositionEncoding encoding)
    : text_(text), encoding_(encoding) {
  starts_.push_back(0);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      starts_.push_back(i + 1);
    } else if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
      starts_.push_back(i + 1);
    }
  }
}

std::size_t LineIndex::lineStart(std::size_t line) const {
  return line < starts_.size() ? starts_[line] : text_.size();
}

std::size_t LineIndex::lineEnd(std::size_t line) const {
  if (line + 1 >= starts_.size()) return text_.size();
  std::size_t end = starts_[line + 1];
  if (end > starts_[line] && text_[end - 1] == '\n') --end;
  if (end > starts_[line] && text_[end - 1] == '\r') --end;
  return end;
}

std::size_t LineIndex::offset(Position position) const {
  if (position.line >= starts_.size()) return text_.size();
  const auto line = static_cast<std::size_t>(position.line);
  std::size_t at = starts_[line];
  const std::size_t end = lineEnd(line);
  std::uint64_t units = 0;
  while (at < end && units < position.character) {
    const std::size_t length = utf8SequenceLength(text_.substr(at, end - at));
    const std::size_t step = length == 0 ? 1 : length;
    std::uint64_t width = 1;
    if (encoding_ == PositionEncoding::kUtf8) {
      width = step;
    } else if (length == 4) {
      width = 2;
    }
    // A position inside a sequence, or between the two halves of a
    // surrogate pair, stands for its start.
    if (units + width > position.character) break;
    units += width;
    at += step;
  }
  return at;
}

Position LineIndex::position(std::size_t offset) const {
  offset = std::min(offset, text_.size());
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), offset);
  const auto line = static_cast<std::size_t>(after - starts_.begin() - 1);
  std::size_t at = starts_[line];
  std::uint64_t units = 0;
  while (at < offset) {
    const std::size_t length = utf8SequenceLength(text_.substr(at));
    const std::size_t step = length == 0 ? 1 : length;
    if (encoding_ == PositionEncoding::kUtf8) {
      units += std::min(step, offset - at);
    } else {
      units += length == 4 ? 2 : 1;
    }
    at += step;
  }
  return Position{line, units};
}

bool applyRangeChange(Document& document, Position from, Position to,
                      std::string_view text, PositionEncoding encoding) {
  const LineIndex index(document.text, encoding);
  const std::size_t start = index.offset(from);
  const std::size_t end = index.offset(to);
  if (end < start) return false;
  document.text.replace(start, end - start, text);
  return true;
}

}  // namespace tagfmt::lsp
