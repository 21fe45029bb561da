#include "lsp/diagnostics.h"

#include <gtest/gtest.h>

#include "lsp/test_client.h"

namespace tagfmt::lsp {
namespace {

using nlohmann::json;

// Each diagnostic as "LINE:SEVERITY:MESSAGE".
std::vector<std::string> summary(const json& list) {
  std::vector<std::string> lines;
  for (const json& item : list) {
    lines.push_back(std::to_string(item["range"]["start"]["line"].get<int>()) +
                    ":" + std::to_string(item["severity"].get<int>()) + ":" +
                    item["message"].get<std::string>());
  }
  return lines;
}

TEST(Diagnostics, SayWhatTagfmtCheckSays) {
  struct Case {
    const char* name;
    std::string text;
    RunOptions options;
    std::vector<std::string> diagnostics;
  };
  const Case cases[] = {
      {"tidy",
       "<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>",
       {},
       {}},
      {"would be tidied on its second line",
       "<table>\r\n<tr>\r\n    <td>a</td>\r\n  </tr></table>",
       {},
       {"1:4:would be tidied"}},
      {"line ends only",
       "<table>\r\n<tr>\n</tr></table>",
       {false, true},
       {"1:4:would be tidied"}},
      {"a fault",
       "<table>\r\n<tr>\r\n</table>\r\n",
       {},
       {"2:1:</table> instead of </tr> (<tr> on line 2)",
        "0:1:missing </table>"}},
      {"a fault and its note",
       "<xsl:stylesheet>\n<xsl:template match=\"a\"/>\n</xsl:stylesheet>\n",
       {},
       {"2:1:</xsl:stylesheet> instead of </xsl:template> (<xsl:template> on "
        "line 2)",
        "0:1:missing </xsl:stylesheet>",
        "1:3:<xsl:template> on line 2 is written self-closed (\"/>\"), and a "
        "recognised tag counts as opened even then"}},
      {"a NUL byte",
       std::string("<table>\r\nx\0y", 12),
       {},
       {"1:1:contains a NUL byte, not checked"}},
  };
  for (const Case& c : cases) {
    const FileReport check = checkDocument(c.text, c.options);
    EXPECT_EQ(summary(diagnosticsJson(c.text, check, "file:///a.htm",
                                      PositionEncoding::kUtf16)),
              c.diagnostics)
        << c.name;
  }
}

TEST(Diagnostics, AFaultPointsAtItsOpeningTag) {
  const std::string text = "<table>\r\n  <tr>\r\n</table>\r\n";
  const json list = diagnosticsJson(text, checkDocument(text, {}), "file:///a",
                                    PositionEncoding::kUtf16);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0]["range"],
            json::parse(R"({"start":{"line":2,"character":0},)"
                        R"("end":{"line":2,"character":8}})"));
  const json& related = list[0]["relatedInformation"][0];
  EXPECT_EQ(related["location"]["uri"], "file:///a");
  EXPECT_EQ(related["location"]["range"]["start"],
            json::parse(R"({"line":1,"character":2})"));
  EXPECT_EQ(related["message"], "<tr> opened here");
}

TEST(Formatting, EditsOrWhyNot) {
  struct Case {
    const char* name;
    std::string text;
    std::string why;
    std::size_t edits;
  };
  const Case cases[] = {
      {"tidy", "<table>\r\n  <tr>\r\n  </tr></table>", "", 0},
      {"untidy", "<table>\n<tr><td>a</td></tr>\n</table>\n", "", 1},
      {"refused", "<table>\r\n<tr>\r\n</table>\r\n",
       "not formatted: line 3: nesting error: </table> instead of </tr> (<tr> "
       "on line 2) (and 1 more)",
       0},
      {"refused twice", "</td>\r\n</tr>",
       "not formatted: line 1: nesting error: unexpected </td> (and 1 more)",
       0},
      {"a NUL byte", std::string("<tr>\0", 5),
       "contains a NUL byte, not formatted", 0},
  };
  for (const Case& c : cases) {
    std::vector<ByteEdit> edits;
    EXPECT_EQ(formattingEdits(c.text, {}, edits), c.why) << c.name;
    EXPECT_EQ(edits.size(), c.edits) << c.name;
    if (!edits.empty()) {
      const TextDecision decision = decideText(c.text, {}, 0);
      EXPECT_EQ(applyEdits(c.text, edits), decision.tidied) << c.name;
    }
  }
}

TEST(Formatting, AnEditToTheEndCountsInTheClientsUnits) {
  // "𝄞" is two UTF-16 units and four bytes.
  const std::string text = "<table>\r\n<tr>\xF0\x9D\x84\x9E</tr></table>";
  std::vector<ByteEdit> edits;
  ASSERT_EQ(formattingEdits(text, {}, edits), "");
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(textEditsJson(text, edits, PositionEncoding::kUtf16)[0]["range"],
            json::parse(R"({"start":{"line":1,"character":0},)"
                        R"("end":{"line":1,"character":19}})"));
  EXPECT_EQ(
      textEditsJson(text, edits, PositionEncoding::kUtf8)[0]["range"]["end"],
      json::parse(R"({"line":1,"character":21})"));
}

}  // namespace
}  // namespace tagfmt::lsp
