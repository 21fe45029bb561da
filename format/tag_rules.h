// The lookup of tag names in the rule table, kTagRules (format/format.h):
// inline, as the pass looks up every tag.
#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "format/format.h"

namespace tagfmt {

namespace tag_rules_detail {

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
inline constexpr std::array<std::uint32_t, 256> kRulesByFirstByte =
    rulesByByteAt(0);
inline constexpr std::array<std::uint32_t, 256> kRulesBySecondByte =
    rulesByByteAt(1);

// The candidates for a name of at least two bytes.
inline std::uint32_t candidatesOf(const char* name) {
  return kRulesByFirstByte[static_cast<unsigned char>(name[0])] &
         kRulesBySecondByte[static_cast<unsigned char>(name[1])];
}

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

inline constexpr std::array<PackedName, kTagRules.size()> kPackedNames = [] {
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
inline int findInBlock(const char* text, std::uint32_t candidates) {
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

// The byte-by-byte lookup, for names too close to the text's end for a
// block, and where the processor lacks SSE2.
int findTagRulePortable(std::string_view name);

}  // namespace tag_rules_detail

// Returns the index of the first rule whose name is a case-insensitive prefix
// of `name` (the text right after "<" or "</"), or -1 when none is.
inline int findTagRule(std::string_view name) {
#if defined(__SSE2__)
  if (name.size() >= 16) {
    const std::uint32_t candidates =
        tag_rules_detail::candidatesOf(name.data());
    if (candidates == 0) return -1;
    return tag_rules_detail::findInBlock(name.data(), candidates);
  }
#endif
  return tag_rules_detail::findTagRulePortable(name);
}

}  // namespace tagfmt
