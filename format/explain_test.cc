// The causes explainText finds, case by case, with each kind of line end
// where the case allows it.
#include "format/explain.h"

#include <gtest/gtest.h>

#include "format/decision.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

// One note in a line: kind, name or quote, lines, and the fault it follows.
std::string describe(const Note& note) {
  const std::string fault =
      note.fault == kNoFault ? "alone" : "fault " + std::to_string(note.fault);
  const std::string end = note.toEnd ? "end" : std::to_string(note.endLine);
  switch (note.kind) {
    case NoteKind::kSelfClosed:
      return "self-closed " + note.name + " line " + std::to_string(note.line) +
             " " + fault;
    case NoteKind::kPrefixName:
      return std::string(note.closing ? "prefix /" : "prefix ") + note.name +
             "->" +
             std::string(
                 kTagRules[static_cast<std::size_t>(note.ruleIndex)].name) +
             " line " + std::to_string(note.line) + " " + fault;
    case NoteKind::kDeclaration:
      return "declaration line " + std::to_string(note.line) + " to " + end +
             " " + fault;
    case NoteKind::kQuoteInComment:
      return std::string("quote ") + note.quote + " line " +
             std::to_string(note.line) + " to " + end + " " + fault;
    case NoteKind::kSpacesShow:
      return std::string(note.inOutput ? "output " : "page ") + note.name +
             " line " + std::to_string(note.line);
    case NoteKind::kBreaksMatter:
      return "breaks " + note.name + " line " + std::to_string(note.line);
    case NoteKind::kRegionUnclosed:
      return "open region line " + std::to_string(note.line);
  }
  return {};
}

std::string explain(std::string_view text) {
  std::string work;
  std::int64_t openSeq = 0;
  NestingFaults faults;
  formatText(text, work, RunOptions{}, openSeq, faults);
  std::string described;
  for (const Note& note : explainText(text, faults)) {
    described += describe(note) + "\n";
  }
  return described;
}

struct ExplainCase {
  const char* name;
  std::string_view input;  // "\n" stands for each kind of line end
  const char* notes;
  bool lfOnly = false;  // a construct spans lines: lone CRs are not counted
};

const ExplainCase kCases[] = {
    {"self-closed cell", "<table>\n<td/>\n</table>\n",
     "self-closed td line 2 fault 0\n"},
    {"self-closed template",
     "<xsl:stylesheet>\n<xsl:template match=\"x\"/>\n</xsl:stylesheet>\n",
     "self-closed xsl:template line 2 fault 0\n"},
    {"self-closed and sound", "<td/>\n", "self-closed td line 1 fault 0\n"},
    {"thead counts as th", "<table>\n<thead>\n<tr><td>a</td></tr>\n</table>\n",
     "prefix thead->th line 2 fault 0\n"},
    {"area counts as a", "<p><area href=x></p>\n",
     "prefix area->a line 1 fault 0\n"},
    {"closing prefix", "<table>\n</thead>\n",
     "prefix /thead->th line 2 fault 0\n"},
    {"self-closed area", "<table>\n<AREA/>\n</table>\n",
     "self-closed AREA line 2 fault 0\nprefix AREA->a line 2 fault 0\n"},
    {"header pairs soundly", "<header>\n</header>\n", ""},
    {"fault of another cause", "<table>\n</tr>\n", ""},
    {"declaration runs on to a comment",
     "<!DOCTYPE html>\n<table>\n<!-- c -->\n</table>\n",
     "declaration line 1 to 3 fault 0\n", true},
    {"declaration swallows the file",
     "<!DOCTYPE html>\n<table>\n<tr><td>x</td></tr>\n</table>\n",
     "declaration line 1 to end alone\n", true},
    {"short run-on causes nothing",
     "<!DOCTYPE x>\n<!-- a "
     "-->\n<p>aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa</p>\n",
     ""},
    {"declaration that ends in ->", "<!DOCTYPE x->\n<table>\n</table>\n", ""},
    {"apostrophe in a comment",
     "<table>\n<!-- don't -->\n<tr>\n</tr>\n</table>\n<!-- it's -->\n",
     "quote ' line 2 to 6 fault 0\n", true},
    {"apostrophe runs on to the end", "<table>\n<!-- don't -->\n</table>\n",
     "quote ' line 2 to end fault 0\n", true},
    {"quotation mark in a comment",
     "<!-- say \"hi -->\n<td>\n</td>\n<!-- x\" -->\n",
     "quote \" line 1 to 4 alone\n", true},
    {"quotes that pair", "<!-- 'a' -->\n<td>\n</td>\n", ""},
    {"note follows the first fault it explains",
     "<table>\n<td/>\n</table>\n<table>\n<td/>\n</table>\n",
     "self-closed td line 2 fault 0\nself-closed td line 5 fault 1\n"},
    {"old pair marker is no declaration",
     "<table><!--@1@-->\n</table><!--@1@-->\n", ""},
};

TEST(ExplainText, FindsEachCause) {
  for (const ExplainCase& c : kCases) {
    EXPECT_EQ(explain(c.input), c.notes) << c.name << " with LF";
    EXPECT_EQ(explain(testing::withCrLf(c.input)), c.notes)
        << c.name << " with CR LF";
    if (!c.lfOnly) {
      EXPECT_EQ(explain(testing::withCr(c.input)), c.notes)
          << c.name << " with CR";
    }
  }
}

TEST(ExplainText, NothingForFaultsOfAnotherText) {
  const NestingFaults faults = {{FaultKind::kUnexpected, 3, -1, 1, 0}};
  EXPECT_TRUE(explainText("<table>\n<td/>\n</table>\n", faults).empty());
  EXPECT_TRUE(explainText("</td>", {}).empty());
}

TEST(ExplainText, StopsAtNul) {
  const std::string text("<table>\n<td/>\n</table>\0</td>", 26);
  std::string work;
  std::int64_t openSeq = 0;
  NestingFaults faults;
  formatText(text, work, RunOptions{}, openSeq, faults);
  ASSERT_EQ(faults.size(), 2u);
  EXPECT_EQ(explainText(text, faults).size(), 1u);
}

TEST(TagNameLength, StopsAtTheFirstNonNameByte) {
  EXPECT_EQ(tagNameLength("xsl:value-of select"), 12u);
  EXPECT_EQ(tagNameLength("td>"), 2u);
  EXPECT_EQ(tagNameLength("h1.x_y/>"), 6u);
  EXPECT_EQ(tagNameLength(""), 0u);
}

}  // namespace
}  // namespace tagfmt

namespace tagfmt {
namespace {

// The notes on content whose spaces or breaks show, and on open regions.
TEST(ExplainLayout, NotesWhereTheChangeShows) {
  const struct {
    const char* name;
    std::string_view text;
    std::string_view notes;  // describe() of each, one per line
  } cases[] = {
      {"pre re-indented in a cell", "<td>\n<pre>\n  a\n</pre>\n</td>",
       "page pre line 2\n"},
      {"pre left alone", "<pre>\na\n</pre>", ""},
      {"pre in a region",
       "<td>\n<!-- tagfmt: off -->\n<pre>\n  a\n</pre>\n"
       "<!-- tagfmt: on -->\n</td>",
       ""},
      {"name as written", "<td>\n<PRE>\n  a\n</PRE></td>", "page PRE line 2\n"},
      {"xsl:text shows in the output",
       "<xsl:template>\n<xsl:text>a\n  b</xsl:text>\n</xsl:template>",
       "output xsl:text line 2\n"},
      {"xml:space preserve",
       "<td>\n<p xml:space=\"preserve\">a\n    b</p>\n</td>",
       "output p line 2\n"},
      {"xml:space with no value", "<td>\n<p xml:space=>a\n  b</p>\n</td>", ""},
      {"script re-indented only", "<td>\n<script>\nvar a;\n</script>\n</td>",
       ""},
      {"script losing a break", "<script>var a;  \nvar b;</script>\n<p>x",
       "breaks script line 1\n"},
      {"region open to the end", "<p>x</p>\n<!-- tagfmt: off -->\n<p>",
       "open region line 2\n"},
  };
  for (const auto& c : cases) {
    const TextDecision decision = decideAndExplain(c.text, RunOptions{}, 0);
    std::string got;
    for (const Note& note : decision.notes) got += describe(note) + "\n";
    EXPECT_EQ(got, c.notes) << c.name;
  }
}

}  // namespace
}  // namespace tagfmt
