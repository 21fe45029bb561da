// The lookup of tag names in the rule table.
#include "format/tag_rules.h"

#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "format/format.h"

namespace tagfmt {

namespace {

constexpr char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// For each possible byte, the rules whose name holds it (either letter case)
// at position `at`, one bit per rule index. A name too short to reach `at`
// takes every byte there.
constexpr std::array<std::uint32_t, 256> rulesByByteAt(std::size_t at) {
  std::array<std::uint32_t, 256> rules{};
  for (std::size_t i = 0; i < kTagRules.size(); ++i) {
    const std::string_view name = kTagRules[i].name;
    for (std::size_t byte = 0; byte < 256; ++byte) {
      const char c = static_cast<char>(byte);
      if (at >= name.size() || lowerAscii(c) == name[at]) {
        rules[byte] |= 1u << i;
      }
    }
  }
  return rules;
}

// Two bytes leave one candidate for nearly every tag name ("td" against
// "table", "tr", "th" and "title"), so a lookup seldom compares twice.
constexpr std::array<std::uint32_t, 256> kRulesByFirstByte = rulesByByteAt(0);
constexpr std::array<std::uint32_t, 256> kRulesBySecondByte = rulesByByteAt(1);

#if defined(__SSE2__)
constexpr bool isLowerLetter(char c) { return c >= 'a' && c <= 'z'; }

// Each rule's name in a 16-byte block, the bits that fold its letters' case
// (0x20 on letters only: folding ':' that way would match a 0x1A byte) and
// a mask of the bytes the name fills.
struct PackedName {
  alignas(16) char bytes[16];
  alignas(16) char fold[16];
  unsigned mask;
};

constexpr std::array<PackedName, kTagRules.size()> kPackedNames = [] {
  std::array<PackedName, kTagRules.size()> packed{};
  for (std::size_t i = 0; i < kTagRules.size(); ++i) {
    const std::string_view name = kTagRules[i].name;
    for (std::size_t j = 0; j < name.size(); ++j) {
      packed[i].bytes[j] = name[j];
      packed[i].fold[j] = isLowerLetter(name[j]) ? 0x20 : 0;
    }
    packed[i].mask = (1u << name.size()) - 1;
  }
  return packed;
}();

// Compares 16 bytes of text at once with each candidate's name.
int findInBlock(const char* text, std::uint32_t candidates) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  for (; candidates != 0; candidates &= candidates - 1) {
    const int index = std::countr_zero(candidates);
    const PackedName& name = kPackedNames[static_cast<std::size_t>(index)];
    const __m128i folded = _mm_or_si128(
        block, _mm_load_si128(reinterpret_cast<const __m128i*>(name.fold)));
    const auto same = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
        folded, _mm_load_si128(reinterpret_cast<const __m128i*>(name.bytes)))));
    if ((same & name.mask) == name.mask) return index;
  }
  return -1;
}
#endif

// Prefix match: the byte after the rule's name is deliberately not looked at,
// so "thead" finds "th" and "xsl:iffy" finds "xsl:if".
bool startsWithIgnoringCase(std::string_view text, std::string_view name) {
  if (text.size() < name.size()) return false;
  for (std::size_t i = 1; i < name.size(); ++i) {
    if (lowerAscii(text[i]) != name[i]) return false;
  }
  return true;
}

}  // namespace

int findTagRule(std::string_view name) {
  if (name.empty()) return -1;
  std::uint32_t candidates =
      kRulesByFirstByte[static_cast<unsigned char>(name[0])];
  if (name.size() >= 2) {
    candidates &= kRulesBySecondByte[static_cast<unsigned char>(name[1])];
  }
  if (candidates == 0) return -1;
#if defined(__SSE2__)
  if (name.size() >= 16) return findInBlock(name.data(), candidates);
#endif
  // Candidates come out in table order, lowest index first.
  for (; candidates != 0; candidates &= candidates - 1) {
    const int index = std::countr_zero(candidates);
    if (startsWithIgnoringCase(
            name, kTagRules[static_cast<std::size_t>(index)].name)) {
      return index;
    }
  }
  return -1;
}

}  // namespace tagfmt
