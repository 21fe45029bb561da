// The lookup of tag names in the rule table.
#include "format/format.h"

namespace tagfmt {

namespace {

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Prefix match: the byte after the rule's name is deliberately not looked at,
// so "thead" finds "th" and "xsl:iffy" finds "xsl:if".
bool startsWithIgnoringCase(std::string_view text, std::string_view name) {
  if (text.size() < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (lowerAscii(text[i]) != name[i]) return false;
  }
  return true;
}

}  // namespace

int findTagRule(std::string_view name) {
  if (name.empty()) return -1;
  const char first = lowerAscii(name[0]);
  for (std::size_t i = 0; i < kTagRules.size(); ++i) {
    const std::string_view ruleName = kTagRules[i].name;
    if (ruleName[0] == first && startsWithIgnoringCase(name, ruleName)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace tagfmt
