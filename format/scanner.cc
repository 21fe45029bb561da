// The construct scanner: copies or skips one tag, comment, declaration or
// processing instruction, and writes pair markers.
#include <bit>
#include <charconv>
#include <cstring>

#include "format/byte_scan.h"
#include "format/format.h"

namespace tagfmt {

namespace {

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

namespace {

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

// Counts set bits one by one: blocks hold few LFs, and std::popcount is a
// library call on processors without the instruction.
unsigned countBits(unsigned mask) {
  unsigned count = 0;
  for (; mask != 0; mask &= mask - 1) ++count;
  return count;
}

#if defined(__SSE2__)
// In a block with quotes of one kind only, which bytes lie inside quotes
// follows from a running parity of the quote bits. Returns the bit of the
// first ">" outside quotes (among `closers`) or NUL, or -1 with the quote
// state carried to the block's end.
int endByParity(bool& inQuote, unsigned quoteBits, unsigned closers,
                unsigned nuls) {
  unsigned inside = quoteBits;
  inside ^= inside << 1;
  inside ^= inside << 2;
  inside ^= inside << 4;
  inside ^= inside << 8;
  if (inQuote) inside = ~inside;
  inside &= 0xFFFFu;
  const unsigned ends = (closers & ~inside) | nuls;
  if (ends != 0) return std::countr_zero(ends);
  inQuote = (inside >> 15) != 0;
  return -1;
}

// A block with both kinds of quote: walks the quotes, ">" and NUL bytes
// that matter in the quote state of the moment, one by one.
int endByWalk(Quotes& quotes, unsigned doubles, unsigned singles,
              unsigned closers, unsigned nuls, std::string_view text,
              std::size_t pos, char terminator) {
  unsigned unseen = 0xFFFFu;
  for (;;) {
    const unsigned relevant =
        nuls | (quotes.inDouble   ? doubles
                : quotes.inSingle ? singles
                                  : (doubles | singles | closers));
    const unsigned next = relevant & unseen;
    if (next == 0) return -1;
    const int bit = std::countr_zero(next);
    unseen &= ~((2u << bit) - 1);
    const std::size_t at = pos + static_cast<unsigned>(bit);
    if (text[at] == '\0' || closesConstruct(quotes, text, at, terminator)) {
      return bit;
    }
  }
}
#endif

// Finds the closing ">" of the construct that starts at `start`, or returns
// the position of the text's end (its size or its first NUL) when there is
// none. Counts the LF bytes before it.
std::size_t findClosingBracket(std::string_view text, std::size_t start,
                               char terminator, std::uint64_t& lines) {
  Quotes quotes;
  std::size_t pos = start;
#if defined(__SSE2__)
  // Sixteen bytes at a time: find every quote, ">" and LF of the block at
  // once, then walk only the ones that matter in the current quote state.
  unsigned terminatorCarry = 0;  // the previous block ended in the terminator
  for (; text.size() - pos >= 16; pos += 16) {
    const __m128i block =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
    const auto maskOf = [&block](char byte) {
      return static_cast<unsigned>(
          _mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(byte))));
    };
    const unsigned doubles = maskOf('"');
    const unsigned singles = maskOf('\'');
    unsigned closers = maskOf('>');
    if (terminator != kNoTerminator) {
      // Only a ">" right after the terminator can close: in a declaration
      // that runs on, most ">" bytes are passed over without a look.
      const unsigned terminators = maskOf(terminator);
      closers &= ((terminators << 1) | terminatorCarry) & 0xFFFFu;
      terminatorCarry = terminators >> 15;
    }
    const unsigned breaks = maskOf('\n');
    const unsigned nuls = maskOf('\0');
    int bit = -1;
    if (!quotes.inSingle && singles == 0) {
      bit = endByParity(quotes.inDouble, doubles, closers, nuls);
    } else if (!quotes.inDouble && doubles == 0) {
      bit = endByParity(quotes.inSingle, singles, closers, nuls);
    } else {
      bit = endByWalk(quotes, doubles, singles, closers, nuls, text, pos,
                      terminator);
    }
    if (bit >= 0) {
      lines += countBits(breaks & ((1u << bit) - 1));
      return pos + static_cast<unsigned>(bit);
    }
    lines += countBits(breaks);
  }
#endif
  for (; pos < text.size() && text[pos] != '\0'; ++pos) {
    if (text[pos] == '\n') ++lines;
    if (closesConstruct(quotes, text, pos, terminator)) return pos;
  }
  return pos;
}

}  // namespace

void scanConstruct(ScanInput& in, WorkText& out, bool markerMode,
                   char terminator, bool copy, std::int64_t markerNumber) {
  const std::size_t start = in.pos;
  const std::size_t bracket =
      findClosingBracket(in.text, start, terminator, in.line);
  // A construct that runs to the end of the text gets no marker.
  const bool closed = bracket < in.text.size() && in.text[bracket] == '>';
  in.pos = closed ? bracket + 1 : bracket;
  if (copy) out.append(in.text.data() + start, in.pos - start);
  if (closed && markerMode && markerNumber > 0) writeMarker(out, markerNumber);
}

}  // namespace tagfmt
