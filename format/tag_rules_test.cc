// Tag-name lookup: letter case, prefix matching and table order.
#include "format/tag_rules.h"

#include <gtest/gtest.h>

#include <string>

namespace tagfmt {
namespace {

TEST(FindTagRule, MatchesByPrefixIgnoringCaseInTableOrder) {
  const struct {
    const char* name;
    int index;
  } cases[] = {
      {"table", 0},
      {"TABLE", 0},
      {"Table>", 0},
      {"tablex", 0},
      {"tr>", 1},
      {"thead>", 2},
      {"th", 2},
      {"td class=x>", 3},
      {"form>", 4},
      {"font size=2>", 13},
      {"frameset>", 16},
      {"frame>", -1},
      {"header>", 11},
      {"head>", 11},
      {"abbr>", 18},
      {"address>", 18},
      {"area>", 18},
      {"applet>", 18},
      {"a href=x>", 18},
      {"divider>", 17},
      {"tbody>", -1},
      {"b>", -1},
      {"body>", 12},
      {"bod", -1},
      {"br>", -1},
      {"img>", -1},
      {"p>", -1},
      {"li>", -1},
      {" table>", -1},
      {"", -1},
      {"xsl:if test=x>", 8},
      {"xsl:iffy>", 8},
      {"XSL:IF>", 8},
      {"xsl:import>", -1},
      {"xsl:stylesheet>", 5},
      {"xsl:template", 6},
      {"xsl:element>", 7},
      {"title>", 9},
      {"html>", 10},
      {"center>", 14},
      {"select>", 15},
      {"t", -1},
      {"xsl\x1a"
       "if>",
       -1},
      {"xsl\x1a"
       "element>",
       -1},
      {"@>", -1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(findTagRule(c.name), c.index) << "name: " << c.name;
    // In a text the name is followed by more bytes, and a long view takes
    // the block-at-a-time path.
    const std::string padded =
        std::string(c.name) + " <p>" + std::string(16, '\n');
    EXPECT_EQ(findTagRule(padded), c.index) << "padded name: " << c.name;
    EXPECT_EQ(tag_rules_detail::findTagRulePortable(padded), c.index)
        << "padded name, byte by byte: " << c.name;
  }
}

TEST(FindTagRule, NeverReadsPastTheText) {
  // A view cut short of the full name must not match.
  const std::string_view text = "tabl";
  EXPECT_EQ(findTagRule(text.substr(0, 4)), -1);
  EXPECT_EQ(findTagRule(std::string_view("tr", 1)), -1);
}

}  // namespace
}  // namespace tagfmt
