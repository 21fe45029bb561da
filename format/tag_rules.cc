// The lookup of tag names in the rule table, byte by byte: for names near
// the text's end, and for processors without SSE2.
#include "format/tag_rules.h"

namespace tagfmt::tag_rules_detail {

namespace {

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

int findTagRulePortable(std::string_view name) {
  if (name.empty()) return -1;
  std::uint32_t candidates =
      kRulesByFirstByte[static_cast<unsigned char>(name[0])];
  if (name.size() >= 2) {
    candidates &= kRulesBySecondByte[static_cast<unsigned char>(name[1])];
  }
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

}  // namespace tagfmt::tag_rules_detail
