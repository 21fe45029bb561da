// The JSON emitter: faults and notes as values, and text that parses.
#include "report/json.h"

#include <gtest/gtest.h>

namespace tagfmt {
namespace {

TEST(Json, FaultsNotesAndText) {
  Note note;
  note.kind = NoteKind::kSelfClosed;
  note.line = 2;
  note.name = "td";
  const NestingFault fault{FaultKind::kMissing, -1, 0, 7, 7};
  note.fault = 0;
  const struct {
    Json value;
    const char* text;
  } cases[] = {
      {faultJson(fault), R"({"line":7,"message":"missing </table>"})"},
      {noteJson(note),
       R"({"line":2,"message":"<td> on line 2 is written self-closed (\"/>\"), )"
       R"(and a recognised tag counts as opened even then","fault":0})"},
      {Json{{"path", "a\nb\x01"}}, R"({"path":"a\nb\u0001"})"},
      // A name that is not UTF-8 still gives valid JSON.
      {Json{{"path", "caf\xe9.htm"}}, "{\"path\":\"caf\xef\xbf\xbd.htm\"}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(jsonText(c.value), c.text);
    EXPECT_TRUE(Json::accept(jsonText(c.value)));
  }
  note.fault = kNoFault;
  EXPECT_TRUE(noteJson(note)["fault"].is_null());
}

}  // namespace
}  // namespace tagfmt
