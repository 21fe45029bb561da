#include "lsp/diagnostics.h"

#include <gtest/gtest.h>

#include "lsp/test_client.h"

namespace tagfmt::lsp {
namespace {

using json = ProtocolJson;

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

// A range as "LINE:CHARACTER-LINE:CHARACTER".
std::string rangeText(const json& range) {
  std::string said;
  for (const char* end : {"start", "end"}) {
    if (!said.empty()) said += '-';
    said += std::to_string(range[end]["line"].get<int>());
    said += ':';
    said += std::to_string(range[end]["character"].get<int>());
  }
  return said;
}

// Each diagnostic's range, and its related one after "<" when it has one.
std::vector<std::string> ranges(const std::string& text,
                                PositionEncoding encoding) {
  std::vector<std::string> said;
  for (const json& item :
       diagnosticsJson(text, checkDocument(text, {}), "file:///a", encoding)) {
    std::string range = rangeText(item["range"]);
    if (item.contains("relatedInformation")) {
      const json& related = item["relatedInformation"][0];
      EXPECT_EQ(related["location"]["uri"], "file:///a");
      range += '<';
      range += rangeText(related["location"]["range"]);
    }
    said.push_back(range);
  }
  return said;
}

// Each diagnostic covers its tag alone, counted in the client's units:
// "é" is one UTF-16 unit and two bytes, "𝄞" two units and four bytes.
TEST(Diagnostics, RangesAreTheTagsOwn) {
  struct Case {
    const char* name;
    std::string text;
    std::vector<std::string> utf16;
    std::vector<std::string> utf8;
  };
  const Case cases[] = {
      {"after text on its line", "  x </td>", {"0:4-0:9"}, {"0:4-0:9"}},
      {"points at the opening tag",
       "<table>\r\n  <tr>\r\n</table>\r\n",
       {"2:0-2:8<1:2-1:6", "0:0-0:7<0:0-0:7"},
       {"2:0-2:8<1:2-1:6", "0:0-0:7<0:0-0:7"}},
      {"on a long joined line",
       "<table><tr>\xc3\xa9<td>x</td></tr> \xF0\x9D\x84\x9E </form></table>",
       {"0:31-0:38<0:0-0:7", "0:38-0:46"},
       {"0:34-0:41<0:0-0:7", "0:41-0:49"}},
      {"a tag over two lines",
       "<table\r\n class=x></tr>",
       {"1:9-1:14<0:0-1:9"},
       {"1:9-1:14<0:0-1:9"}},
      {"a note on its tag and a fault at the end",
       "<table>\n<td/>\n</table>\n",
       {"2:0-2:8<1:0-1:5", "0:0-0:7<0:0-0:7", "1:0-1:5"},
       {"2:0-2:8<1:0-1:5", "0:0-0:7<0:0-0:7", "1:0-1:5"}},
      {"a run-on at its start",
       "<table>\n<!DOCTYPE x>\n</table>\n-->",
       {"0:0-0:7<0:0-0:7", "1:0-1:2"},
       {"0:0-0:7<0:0-0:7", "1:0-1:2"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ranges(c.text, PositionEncoding::kUtf16), c.utf16) << c.name;
    EXPECT_EQ(ranges(c.text, PositionEncoding::kUtf8), c.utf8) << c.name;
  }
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
            parseProtocolJson(R"({"start":{"line":1,"character":0},)"
                              R"("end":{"line":1,"character":19}})"));
  EXPECT_EQ(
      textEditsJson(text, edits, PositionEncoding::kUtf8)[0]["range"]["end"],
      parseProtocolJson(R"({"line":1,"character":21})"));
}

}  // namespace
}  // namespace tagfmt::lsp
