// tagfmt-check's fault and note lines, word for word.
#include "report/check_wording.h"

#include <gtest/gtest.h>

#include "report/names.h"

namespace tagfmt {
namespace {

TEST(Wording, FaultLines) {
  const struct {
    NestingFault fault;
    const char* line;
  } cases[] = {
      {{FaultKind::kMismatch, 1, 3, 4, 3},
       "p.htm:4: nesting error: </tr> instead of </td> (<td> on line 3)\n"},
      {{FaultKind::kUnexpected, 3, -1, 1, 0},
       "p.htm:1: nesting error: unexpected </td>\n"},
      {{FaultKind::kMissing, -1, 0, 7, 7},
       "p.htm:7: nesting error: missing </table>\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(faultLine("p.htm", c.fault), c.line);
}

Note note(NoteKind kind, std::uint64_t line, std::uint64_t endLine, bool toEnd,
          int rule, const char* name, bool closing, char quote) {
  Note made;
  made.kind = kind;
  made.line = line;
  made.endLine = endLine;
  made.toEnd = toEnd;
  made.ruleIndex = rule;
  made.name = name;
  made.closing = closing;
  made.quote = quote;
  return made;
}

TEST(Wording, NoteLines) {
  using enum NoteKind;
  const struct {
    Note note;
    const char* line;
  } cases[] = {
      {note(kSelfClosed, 31, 0, false, 6, "xsl:template", false, 0),
       "s.xsl:31: note: <xsl:template> on line 31 is written self-closed "
       "(\"/>\"), and a recognised tag counts as opened even then\n"},
      {note(kPrefixName, 2, 0, false, 2, "thead", false, 0),
       "s.xsl:2: note: <thead> counts as <th>: names match by their "
       "beginning\n"},
      {note(kPrefixName, 5, 0, false, 11, "HEADER", true, 0),
       "s.xsl:5: note: </HEADER> counts as </head>: names match by their "
       "beginning\n"},
      {note(kDeclaration, 1, 8, false, -1, "", false, 0),
       "s.xsl:1: note: the declaration on line 1 runs on to the first \"->\" "
       "on line 8, and the tags between are not seen\n"},
      {note(kDeclaration, 1, 90, true, -1, "", false, 0),
       "s.xsl:1: note: the declaration on line 1 runs on to the end of the "
       "file, since no \"->\" follows it, and the tags after it are not "
       "seen\n"},
      {note(kQuoteInComment, 12, 40, false, -1, "", false, '\''),
       "s.xsl:12: note: the apostrophe on line 12 opens a quote inside the "
       "comment, which then runs on to line 40\n"},
      {note(kQuoteInComment, 3, 9, true, -1, "", false, '"'),
       "s.xsl:3: note: the quotation mark on line 3 opens a quote inside the "
       "comment, which then runs on to the end of the file\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(noteLine("s.xsl", c.note), c.line);
}

}  // namespace
}  // namespace tagfmt

namespace tagfmt {
namespace {

TEST(PrintableName, EscapesOnlyNamesWithControlBytes) {
  const struct {
    std::string_view name, printed;
  } cases[] = {
      {"page.htm", "page.htm"},
      {"a b\\c'd.htm", "a b\\c'd.htm"},
      {"\xc3\xa9t\xc3\xa9.htm", "\xc3\xa9t\xc3\xa9.htm"},
      {"evil\n   writing evil.bak\n", "$'evil\\n   writing evil.bak\\n'"},
      {"\x1b[31mred\x7f", "$'\\x1b[31mred\\x7f'"},
      {"tab\there\r'q'\\", "$'tab\\there\\r\\'q\\'\\\\'"},
      // C1 controls: a lone CSI byte, and U+009B in UTF-8.
      {"a\x9b"
       "31m.htm",
       "$'a\\x9b31m.htm'"},
      {"a\xc2\x9b"
       "31m.htm",
       "$'a\\xc2\\x9b31m.htm'"},
      // Letters whose UTF-8 holds such bytes, and other bytes that are not
      // UTF-8, stay as they are.
      {"\xc5\x9b\xe2\x80\x9c.htm", "\xc5\x9b\xe2\x80\x9c.htm"},
      {"caf\xe9\xff.htm", "caf\xe9\xff.htm"},
  };
  for (const auto& c : cases) EXPECT_EQ(printableName(c.name), c.printed);
}

}  // namespace
}  // namespace tagfmt
