// The spans of faults and notes: one page for each kind, with the line and
// byte columns of the tag or construct each points at.
#include "format/places.h"

#include <gtest/gtest.h>

#include "format/decision.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

std::string describe(const TextSpan& span) {
  std::string said = std::to_string(span.line);
  for (const auto& [separator, value] :
       {std::pair{':', span.column}, std::pair{'-', span.endLine},
        std::pair{':', span.endColumn}}) {
    said += separator;
    said += std::to_string(value);
  }
  return said;
}

// Each fault as "span" or "span<open span", and each note as "n span",
// one a line.
std::string spans(std::string_view text) {
  const TextDecision decision = decideAndExplain(text, RunOptions{}, 0);
  std::string said;
  for (const NestingFault& fault : decision.faults) {
    said += describe(fault.span);
    if (fault.kind == FaultKind::kMismatch) {
      said += '<';
      said += describe(fault.openSpan);
    }
    said += "\n";
  }
  for (const Note& note : decision.notes) {
    said += "n ";
    said += describe(note.span);
    said += '\n';
  }
  return said;
}

struct SpanCase {
  const char* name;
  std::string_view input;  // "\n" stands for each kind of line end
  const char* spans;
  bool lfOnly = false;  // a construct spans lines: lone CRs are not counted
};

const SpanCase kCases[] = {
    {"unexpected after text", "  x </td>", "1:5-1:10\n"},
    {"mismatch points back", "<table>\n  <tr></td>\n",
     "2:7-2:12<2:3-2:7\n1:1-1:8\n"},
    {"missing is the opening tag", "<p>\n  <table class=\"a\">\n",
     "2:3-2:20\n"},
    {"a tag over two lines", "<table\n  class=x>\n</tr>\n",
     "3:1-3:6<1:1-2:11\n", true},
    {"a tag with no end runs to the text's", "<table>\n</tr",
     "2:1-2:5<1:1-1:8\n"},
    {"columns count bytes", "\xc3\xa9\t</td>", "1:4-1:9\n"},
    {"self-closed", "<table>\n<td/>\n</table>\n",
     "3:1-3:9<2:1-2:6\n1:1-1:8\nn 2:1-2:6\n"},
    {"prefix name", "<table>\n  <thead>\n</table>\n",
     "3:1-3:9<2:3-2:10\n1:1-1:8\nn 2:3-2:10\n"},
    {"declaration runs on", "<table>\n<!DOCTYPE x>\n</table>\n-->\n",
     "1:1-1:8\nn 2:1-4:4\n", true},
    {"quote in a comment", "<table>\n<!-- it's -->\n</table>\n",
     "1:1-1:8\nn 2:8-4:1\n", true},
    {"spaces show", "<div>\n<pre>\n    a\n  </pre></div>\n", "n 2:1-2:6\n"},
    {"breaks matter", "<script>\n</script>\n", "n 1:1-1:9\n"},
    {"region left open", "<p>\n <!-- tagfmt: off -->\n", "n 2:2-2:22\n"},
};

TEST(Places, OneForEachKindOfFaultAndNote) {
  for (const SpanCase& c : kCases) {
    EXPECT_EQ(spans(c.input), c.spans) << c.name << " with LF";
    EXPECT_EQ(spans(testing::withCrLf(c.input)), c.spans)
        << c.name << " with CR LF";
    if (!c.lfOnly) {
      EXPECT_EQ(spans(testing::withCr(c.input)), c.spans)
          << c.name << " with CR";
    }
  }
}

TEST(Places, ConstructEndsByThePassRules) {
  const std::string_view text = "<a title='>'>x<!-- > -->y<?p > ?>z<b";
  EXPECT_EQ(constructEnd(text, 0), 13u);
  EXPECT_EQ(constructEnd(text, 14), 24u);
  EXPECT_EQ(constructEnd(text, 25), 33u);
  EXPECT_EQ(constructEnd(text, 34), text.size());
  EXPECT_EQ(constructEnd(text, 13), 13u);  // not a "<": nothing to scan
}

}  // namespace
}  // namespace tagfmt
