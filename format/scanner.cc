// The construct scanner: copies or skips one tag, comment, declaration or
// processing instruction, and writes pair markers.
#include "format/scanner.h"

#include <bit>
#include <charconv>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "format/byte_scan.h"
#include "format/work_text.h"

namespace tagfmt {

namespace {

void writeMarker(WorkText& out, std::int64_t number) {
  char marker[40] = "<!--@";
  char* digitsEnd = std::to_chars(marker + 5, marker + 30, number).ptr;
  std::memcpy(digitsEnd, "@-->", 4);
  out.append(marker, static_cast<std::size_t>(digitsEnd + 4 - marker));
}

// Quote state inside one construct.
struct Quotes {
  bool inDouble = false;
  bool inSingle = false;
};

// Takes one quote or ">" byte. Quotes of one kind are plain bytes inside
// quotes of the other; returns true when the byte closes the construct.
bool closesConstruct(Quotes& quotes, std::string_view text, std::size_t pos,
                     char terminator) {
  const char byte = text[pos];
  if (byte == '"') {
    if (!quotes.inSingle) quotes.inDouble = !quotes.inDouble;
  } else if (byte == '\'') {
    if (!quotes.inDouble) quotes.inSingle = !quotes.inSingle;
  } else if (byte == '>' && !quotes.inDouble && !quotes.inSingle) {
    // The construct's "<" stands before pos, so pos - 1 is inside it.
    return terminator == kNoTerminator || text[pos - 1] == terminator;
  }
  return false;
}

#if defined(__SSE2__)
// Counts set bits one by one: blocks hold few LFs, and std::popcount is a
// library call on processors without the instruction.
unsigned countBits(std::uint64_t mask) {
  unsigned count = 0;
  for (; mask != 0; mask &= mask - 1) ++count;
  return count;
}

// The bits below `bit`, and those up to and including it.
std::uint64_t bitsBelow(int bit) { return (std::uint64_t{1} << bit) - 1; }
std::uint64_t bitsThrough(int bit) {
  return ((std::uint64_t{1} << bit) << 1) - 1;
}

// kParts × 16 bytes of text, and the mask of where a given byte stands in
// them, one bit a byte.
template <int kParts>
struct Block {
  static constexpr int kWidth = 16 * kParts;
  explicit Block(const char* data) {
    for (int i = 0; i < kParts; ++i) {
      parts[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data) + i);
    }
  }
  std::uint64_t maskOf(char byte) const {
    const __m128i needle = _mm_set1_epi8(byte);
    std::uint64_t mask = 0;
    for (int i = 0; i < kParts; ++i) {
      const auto part = static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(parts[i], needle)));
      mask |= std::uint64_t{part} << (16 * i);
    }
    return mask;
  }
  __m128i parts[kParts];
};

// In a block with quotes of one kind only, which bytes lie inside quotes
// follows from a running parity of the quote bits. Returns the bit of the
// first ">" outside quotes (among `closers`) or NUL, or -1 with the quote
// state carried to the block's end.
int endByParity(bool& inQuote, std::uint64_t quoteBits, std::uint64_t closers,
                std::uint64_t nuls, int width) {
  std::uint64_t inside = quoteBits;
  for (int shift = 1; shift < width; shift *= 2) inside ^= inside << shift;
  if (inQuote) inside = ~inside;
  const std::uint64_t ends = (closers & ~inside) | nuls;
  if (ends != 0) return std::countr_zero(ends);
  inQuote = ((inside >> (width - 1)) & 1) != 0;
  return -1;
}

// A block with both kinds of quote: walks the quotes, ">" and NUL bytes
// that matter in the quote state of the moment, one by one.
int endByWalk(Quotes& quotes, std::uint64_t doubles, std::uint64_t singles,
              std::uint64_t closers, std::uint64_t nuls, std::string_view text,
              std::size_t pos, char terminator) {
  std::uint64_t unseen = ~std::uint64_t{0};
  for (;;) {
    const std::uint64_t relevant =
        nuls | (quotes.inDouble   ? doubles
                : quotes.inSingle ? singles
                                  : (doubles | singles | closers));
    const std::uint64_t next = relevant & unseen;
    if (next == 0) return -1;
    const int bit = std::countr_zero(next);
    unseen &= ~bitsThrough(bit);
    const std::size_t at = pos + static_cast<unsigned>(bit);
    if (text[at] == '\0' || closesConstruct(quotes, text, at, terminator)) {
      return bit;
    }
  }
}
#endif

#if defined(__SSE2__)
// What a construct's scan carries from one block to the next.
struct ScanState {
  Quotes quotes;
  std::uint64_t terminatorCarry = 0;  // the last block ended in the terminator
};

// Looks at one block of a construct: returns the bit of its closing ">" or
// of a NUL, or -1 with the state carried on. Counts the LFs before the end.
template <int kParts>
int scanBlock(ScanState& state, std::string_view text, std::size_t pos,
              char terminator, std::uint64_t& lines) {
  const Block<kParts> block(text.data() + pos);
  constexpr int kWidth = Block<kParts>::kWidth;
  const std::uint64_t doubles = block.maskOf('"');
  const std::uint64_t singles = block.maskOf('\'');
  std::uint64_t closers = block.maskOf('>');
  if (terminator != kNoTerminator) {
    // Only a ">" right after the terminator can close: in a declaration
    // that runs on, most ">" bytes are passed over without a look.
    const std::uint64_t terminators = block.maskOf(terminator);
    closers &= (terminators << 1) | state.terminatorCarry;
    state.terminatorCarry = (terminators >> (kWidth - 1)) & 1;
  }
  const std::uint64_t breaks = block.maskOf('\n');
  const std::uint64_t nuls = block.maskOf('\0');
  Quotes& quotes = state.quotes;
  int bit = -1;
  if (!quotes.inSingle && singles == 0) {
    bit = endByParity(quotes.inDouble, doubles, closers, nuls, kWidth);
  } else if (!quotes.inDouble && doubles == 0) {
    bit = endByParity(quotes.inSingle, singles, closers, nuls, kWidth);
  } else {
    bit = endByWalk(quotes, doubles, singles, closers, nuls, text, pos,
                    terminator);
  }
  lines += countBits(bit >= 0 ? breaks & bitsBelow(bit) : breaks);
  return bit;
}
#endif

// Finds the closing ">" of the construct that starts at `start`, or returns
// the position of the text's end (its size or its first NUL) when there is
// none. Counts the LF bytes before it.
std::size_t findClosingBracket(std::string_view text, std::size_t start,
                               char terminator, std::uint64_t& lines) {
  std::size_t pos = start;
#if defined(__SSE2__)
  // Most tags end within 64 bytes, and are looked at 16 bytes at a time;
  // past that, a long comment or a declaration that runs on goes 64 at a
  // time.
  ScanState state;
  for (int round = 0; round < 4 && text.size() - pos >= 16;
       ++round, pos += 16) {
    const int bit = scanBlock<1>(state, text, pos, terminator, lines);
    if (bit >= 0) return pos + static_cast<unsigned>(bit);
  }
  for (; text.size() - pos >= 64; pos += 64) {
    const int bit = scanBlock<4>(state, text, pos, terminator, lines);
    if (bit >= 0) return pos + static_cast<unsigned>(bit);
  }
  for (; text.size() - pos >= 16; pos += 16) {
    const int bit = scanBlock<1>(state, text, pos, terminator, lines);
    if (bit >= 0) return pos + static_cast<unsigned>(bit);
  }
  Quotes quotes = state.quotes;
#else
  Quotes quotes;
#endif
  for (; pos < text.size() && text[pos] != '\0'; ++pos) {
    if (text[pos] == '\n') ++lines;
    if (closesConstruct(quotes, text, pos, terminator)) return pos;
  }
  return pos;
}

}  // namespace

bool scanConstruct(ScanInput& in, WorkText& out, bool markerMode,
                   char terminator, bool copy, std::int64_t markerNumber) {
  const std::size_t start = in.pos;
  std::size_t bracket = in.text.size();
  if (terminator == kNoTerminator) {
    bracket = findPlainTagEnd(in.text.data(), start, in.text.size());
  }
  if (bracket == in.text.size()) {
    bracket = findClosingBracket(in.text, start, terminator, in.line);
  }
  // A construct that runs to the end of the text gets no marker.
  const bool closed = bracket < in.text.size() && in.text[bracket] == '>';
  in.pos = closed ? bracket + 1 : bracket;
  if (copy) out.append(in.text.data() + start, in.pos - start);
  if (closed && markerMode && markerNumber > 0) writeMarker(out, markerNumber);
  return closed;
}

}  // namespace tagfmt
