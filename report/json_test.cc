// The JSON module: faults and notes as values with their spans, names
// that are not UTF-8, text that parses, and the server's messages.
#include "report/json.h"

#include <gtest/gtest.h>

#include "format/decision.h"

namespace tagfmt {
namespace {

TEST(Json, FaultsAndNotesWithTheirSpans) {
  const TextDecision decision =
      decideAndExplain("<table>\n  <td/>\n</table>\n", RunOptions{}, 0);
  ASSERT_EQ(decision.faults.size(), 2u);
  ASSERT_EQ(decision.notes.size(), 1u);
  EXPECT_EQ(
      jsonText(faultJson(decision.faults[0])),
      R"j({"code":"mismatched-closing-tag","severity":"error","message":)j"
      R"j("</table> instead of </td> (<td> on line 2)","line":3,"column":1,)j"
      R"j("endLine":3,"endColumn":9,"related":{"line":2,"column":3,)j"
      R"j("endLine":2,"endColumn":8,"message":"<td> opened here"}})j");
  EXPECT_EQ(jsonText(faultJson(decision.faults[1])),
            R"j({"code":"missing-closing-tag","severity":"error","message":)j"
            R"j("missing </table>","line":1,"column":1,"endLine":1,)j"
            R"j("endColumn":8})j");
  EXPECT_EQ(jsonText(noteJson(decision.notes[0])),
            R"j({"code":"self-closed-tag","severity":"info","message":"<td> )j"
            R"j(on line 2 is written self-closed (\"/>\"), and a recognised )j"
            R"j(tag counts as opened even then","line":2,"column":3,)j"
            R"j("endLine":2,"endColumn":8,"fault":0})j");
  Note alone = decision.notes[0];
  alone.fault = kNoFault;
  EXPECT_TRUE(noteJson(alone)["fault"].is_null());
}

TEST(Json, NamesAsTheyAreOrReversibly) {
  const struct {
    std::string_view name;
    const char* json;
  } cases[] = {
      {"a.htm", R"({"path":"a.htm"})"},
      // Controls are JSON's to escape, not the shell's.
      {"new\nline.htm", R"({"path":"new\nline.htm"})"},
      {"caf\xc3\xa9.htm", "{\"path\":\"caf\xc3\xa9.htm\"}"},
      {"caf\xe9.htm",
       "{\"path\":\"caf\xef\xbf\xbd.htm\",\"pathBytes\":\"Y2Fm6S5odG0=\"}"},
      // An overlong form and a surrogate are not UTF-8 either.
      {"\xc0\xaf",
       "{\"path\":\"\xef\xbf\xbd\xef\xbf\xbd\","
       "\"pathBytes\":\"wK8=\"}"},
      {"\xed\xa0\x80",
       "{\"path\":\"\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd\","
       "\"pathBytes\":\"7aCA\"}"},
  };
  for (const auto& c : cases) {
    Json value = Json::object();
    putName(value, "path", c.name);
    EXPECT_EQ(jsonText(value), c.json);
    EXPECT_TRUE(Json::accept(jsonText(value)));
  }
  EXPECT_EQ(base64(""), "");
  EXPECT_EQ(base64("f"), "Zg==");
  EXPECT_EQ(base64("fo"), "Zm8=");
  EXPECT_EQ(base64("foo"), "Zm9v");
}

// The server's messages: keys sorted whatever order they came in, bytes
// that are not UTF-8 written as U+FFFD, and what is not JSON discarded.
TEST(Json, ProtocolMessagesAsTextAndBack) {
  const struct {
    const char* in;
    const char* out;  // null: discarded
  } cases[] = {
      {R"({"params":{"b":2,"a":1},"id":1, "jsonrpc":"2.0"})",
       R"({"id":1,"jsonrpc":"2.0","params":{"a":1,"b":2}})"},
      {R"(["\u00e9", 1.5, null])", "[\"\xc3\xa9\",1.5,null]"},
      {"{\"id\":", nullptr},
      {"", nullptr},
      {"{} {}", nullptr},
  };
  for (const auto& c : cases) {
    const ProtocolJson message = parseProtocolJson(c.in);
    if (c.out == nullptr) {
      EXPECT_TRUE(message.is_discarded()) << c.in;
    } else {
      EXPECT_EQ(jsonText(message), c.out) << c.in;
    }
  }
  EXPECT_EQ(jsonText(ProtocolJson{{"text", "caf\xe9"}}),
            "{\"text\":\"caf\xef\xbf\xbd\"}");
}

}  // namespace
}  // namespace tagfmt
