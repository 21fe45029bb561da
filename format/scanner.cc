// The construct scanner: copies or skips one tag, comment, declaration or
// processing instruction, and writes pair markers. Also the pass's bounded
// output buffer.
#include <algorithm>
#include <charconv>
#include <cstring>

#include "format/format.h"

namespace tagfmt {

WorkText::WorkText(std::string& buffer, std::size_t limit)
    : buffer_(buffer), limit_(limit) {}

char* WorkText::reserve(std::size_t count) {
  constexpr std::size_t kMaxPosition = SIZE_MAX / 2;
  const std::size_t room = used_ < limit_ ? limit_ - used_ : 0;
  if (overflowed_ || count > room) {
    // Past the bound nothing is stored: the text will be refused anyway.
    // Positions saturate, as only the stored text depends on them.
    overflowed_ = true;
    used_ = count > kMaxPosition - used_ ? kMaxPosition : used_ + count;
    return nullptr;
  }
  const std::size_t needed = used_ + count;
  if (needed > buffer_.size()) {
    const std::size_t roomy = buffer_.size() + buffer_.size() / 2 + 4096;
    buffer_.resize(std::min(limit_, std::max(needed, roomy)));
  }
  char* const at = buffer_.data() + used_;
  used_ = needed;
  return at;
}

void WorkText::append(const char* bytes, std::size_t count) {
  if (char* at = reserve(count)) std::memcpy(at, bytes, count);
}

void WorkText::appendSpaces(std::size_t count) {
  if (char* at = reserve(count)) std::memset(at, ' ', count);
}

void WorkText::finish() {
  if (overflowed_) {
    std::string().swap(buffer_);
  } else {
    buffer_.resize(used_);
  }
}

namespace {

// Bytes that need a look inside a construct; every other byte is copied as
// part of a run.
constexpr std::array<bool, 256> kConstructStops = [] {
  std::array<bool, 256> stops{};
  stops['"'] = stops['\''] = stops['>'] = stops['\n'] = true;
  return stops;
}();

void writeMarker(WorkText& out, std::int64_t number) {
  char marker[40] = "<!--@";
  char* digitsEnd = std::to_chars(marker + 5, marker + 30, number).ptr;
  std::memcpy(digitsEnd, "@-->", 4);
  out.append(marker, static_cast<std::size_t>(digitsEnd + 4 - marker));
}

}  // namespace

bool startsWithPairMarker(std::string_view text) {
  if (!text.starts_with("<!--@")) return false;
  std::size_t pos = 5;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') ++pos;
  return pos > 5 && text.substr(pos, 4) == "@-->";
}

void scanConstruct(ScanInput& in, WorkText& out, bool markerMode,
                   char terminator, bool copy, std::int64_t markerNumber) {
  const std::string_view text = in.text;
  const std::size_t start = in.pos;
  std::size_t pos = start;
  bool inDouble = false;
  bool inSingle = false;
  for (;;) {
    while (pos < text.size() &&
           !kConstructStops[static_cast<unsigned char>(text[pos])]) {
      ++pos;
    }
    if (pos == text.size()) break;  // no closing ">": runs to the end
    const char byte = text[pos];
    if (byte == '\n') ++in.line;
    // Quotes count in every kind of construct, comments included.
    if (!inSingle && byte == '"') inDouble = !inDouble;
    if (!inDouble) {
      if (byte == '\'') inSingle = !inSingle;
      const bool closes = !inSingle && byte == '>' &&
                          (terminator == kNoTerminator ||
                           (pos > start && text[pos - 1] == terminator));
      if (closes) {
        ++pos;
        if (copy) out.append(text.data() + start, pos - start);
        in.pos = pos;
        if (markerMode && markerNumber > 0) writeMarker(out, markerNumber);
        return;
      }
    }
    ++pos;
  }
  if (copy) out.append(text.data() + start, pos - start);
  in.pos = pos;
}

}  // namespace tagfmt
