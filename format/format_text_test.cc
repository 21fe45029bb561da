// The reformatting pass, case by case: input, mode, expected text and
// messages. Each case runs with LF, CR LF and lone-CR line ends.
#include <gtest/gtest.h>

#include "format/format.h"
#include "format/line_ends.h"
#include "report/tagfmt_wording.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

using testing::withCr;
using testing::withCrLf;

struct Result {
  Verdict verdict;
  std::string text;  // with line ends normalised
  std::string messages;
};

Result format(std::string_view input, bool markerMode, std::int64_t& openSeq) {
  RunOptions options;
  options.markerMode = markerMode;
  std::string work;
  NestingFaults faults;
  const Formatted formatted = formatText(input, work, options, openSeq, faults);
  std::string said = faults.empty() ? "" : "t.htm\n";
  for (const NestingFault& fault : faults) said += nestingMessage(fault);
  return {formatted.verdict, normaliseLineEnds(formatted.text), said};
}

struct FormatCase {
  const char* name;
  std::string_view input;     // "\n" stands for each kind of line end
  std::string_view expected;  // "\n" stands for CR LF
  const char* messages = "";
  bool markerMode = false;
  bool lfOnly = false;  // lone CRs inside a construct are not counted as lines
  std::int64_t openSeq = 0;  // the run's count before the text
};

void check(const FormatCase& c) {
  const std::string variants[] = {std::string(c.input), withCrLf(c.input),
                                  withCr(c.input)};
  const char* variantNames[] = {"LF", "CR LF", "CR"};
  for (int v = 0; v < (c.lfOnly ? 2 : 3); ++v) {
    std::int64_t openSeq = c.openSeq;
    const Result got = format(variants[v], c.markerMode, openSeq);
    const std::string messages = c.messages;
    EXPECT_EQ(got.text, withCrLf(c.expected))
        << c.name << " with " << variantNames[v] << " line ends";
    EXPECT_EQ(got.messages, messages.empty() ? "" : "t.htm\n" + messages)
        << c.name << " with " << variantNames[v] << " line ends";
    EXPECT_EQ(got.verdict,
              messages.empty() ? Verdict::kSound : Verdict::kFailed)
        << c.name;
  }
}

const char kTemplate[] =
    "<xsl:template match=\"/\">\n<table>\n<tr><td>a</td>\n<td>b</td></tr>\n"
    "</table>\n</xsl:template>\n";

TEST(FormatText, WorkedExample) {
  check({"plain", kTemplate,
         "<xsl:template match=\"/\">\n"
         "    <table>\n"
         "      <tr>\n"
         "        <td>a</td>\n"
         "        <td>b</td>\n"
         "      </tr>\n"
         "    </table></xsl:template>"});
  check({"markers", kTemplate,
         "<xsl:template match=\"/\"><!--@1@-->\n"
         "    <table><!--@2@-->\n"
         "      <tr><!--@3@-->\n"
         "        <td><!--@4@-->a</td><!--@4@-->\n"
         "        <td><!--@5@-->b</td><!--@5@-->\n"
         "      </tr><!--@3@-->\n"
         "    </table><!--@2@--></xsl:template><!--@1@-->",
         "", true});
}

TEST(FormatText, TidyTextComesBackAsItself) {
  // Breaks redone at a smaller indentation must not count as changes.
  const std::string tidy = withCrLf(
      "<xsl:template match=\"/\">\n    <table>\n      <tr>\n        "
      "<td>a</td>\n"
      "      </tr>\n    </table></xsl:template>");
  std::string work;
  NestingFaults faults;
  std::int64_t openSeq = 0;
  const Formatted got = formatText(tidy, work, RunOptions{}, openSeq, faults);
  EXPECT_EQ(got.verdict, Verdict::kSound);
  EXPECT_EQ(got.text.data(), tidy.data());
  EXPECT_EQ(got.text.size(), tidy.size());
}

// At level 0 a source line break joins its lines unless text would touch
// text or a tag; then it stays as a bare break.
TEST(FormatText, LineBreaksAtLevelZero) {
  const FormatCase cases[] = {
      {"text lines keep bare breaks", "a\n  b\n\tc\n", "a\nb\nc"},
      {"text before a tag", "see\n<a href=x>link</a>",
       "see\n<a href=x>link</a>"},
      {"a tag before text", "<a href=x>link</a>\nhere",
       "<a href=x>link</a>\nhere"},
      {"markup meets markup", "<html>\n<body>\n</body>\n</html>",
       "<html><body></body></html>"},
      {"a blank before the break", "word \nnext", "word next"},
      {"an empty line: the next break decides", "a\n\nb", "a\nb"},
      {"the start of the text", "\nword", "word"},
      {"the final break", "word\n", "word"},
      {"taken back after text", "<table>\nx\n</table>",
       "<table>\n  x\n</table>"},
      {"taken back after markup", "<table>\n<p>\n</table>",
       "<table>\n  <p></table>"},
      {"text inside pre", "<pre>\nline one\nline two\n</pre>",
       "<pre>\nline one\nline two\n</pre>"},
  };
  for (const FormatCase& c : cases) check(c);
}

TEST(FormatText, IndentationAndLineBreaks) {
  const FormatCase cases[] = {
      {"empty text", "", ""},
      {"first line keeps its blanks", "  <p>x", "  <p>x"},
      {"blank kinds dropped, high bytes kept",
       "<table>\n\t\v\f x\n\xC3\xA9\n</table>",
       "<table>\n  x\n  \xC3\xA9\n</table>"},
      {"trailing blanks stay", "<table>x  \n</table>", "<table>x  </table>"},
      {"empty lines go where the closing tag joins", "<table>\n\n\n</table>",
       "<table></table>"},
      {"empty lines stay where the closing tag is indented",
       "<table>\n<tr>\n\n\n</tr>\n</table>",
       "<table>\n  <tr>\n    \n    \n  </tr></table>"},
      {"closing td pulled back", "<tr>\n<td>a\n</td>\n</tr>",
       "<tr>\n  <td>a\n  </td></tr>"},
      {"unrecognised closing tag stays", "<table>\n<p>\n</p>\n</table>",
       "<table>\n  <p>\n  </p></table>"},
      {"page elements at level 0 write no breaks",
       "<html>\n<head>\n<title>x</title>\n</head>\n<body>\n</body>\n</html>\n",
       "<html><head><title>x</title></head><body></body></html>"},
      {"page elements inside a template break",
       "<xsl:template>\n<html><body>x</body></html>\n</xsl:template>",
       "<xsl:template>\n    <html>\n    <body>x\n    </body>\n    </html>"
       "</xsl:template>"},
      {"processing instruction joins the root",
       "<?xml version=\"1.0\"?>\n<xsl:stylesheet>\n</xsl:stylesheet>\n",
       "<?xml version=\"1.0\"?><xsl:stylesheet></xsl:stylesheet>"},
      {"opening tag first in the text gets no break", "<table></table>",
       "<table></table>"},
      {"tbody is not recognised", "<table>\n<tbody>\n</tbody>\n</table>",
       "<table>\n  <tbody>\n  </tbody></table>"},
      {"prefix match indents thead", "<table><thead>x</thead></table>",
       "<table>\n  <thead>x</thead></table>"},
      {"font, div and a change nothing",
       "<table>\n<font><div><a href=x>y</a></div></font>\n</table>",
       "<table>\n  <font><div><a href=x>y</a></div></font></table>"},
      {"multi-line tag keeps its inside",
       "<table>\n<td\n  class=x>y</td>\n</table>",
       "<table>\n  <td\n  class=x>y</td></table>"},
      {"comment keeps its lines", "<table>\n<!-- a\n   b -->\n</table>",
       "<table>\n  <!-- a\n   b --></table>"},
      {"apostrophe in a comment runs on",
       "<!-- don't -->\n<table>\n</table>\n<!-- x -->",
       "<!-- don't -->\n<table>\n</table>\n<!-- x -->"},
      {"stray < swallows the next tag", "a < b <td>c", "a < b <td>c"},
      {"lone < at the end", "x<", "x<"},
      {"select and center indent",
       "<center><select>\n<option>x\n</select></center>",
       "<center>\n  <select>\n    <option>x\n  </select></center>"},
  };
  for (const FormatCase& c : cases) check(c);
}

// A break taken back is redone where it was; nothing written after it, here
// or by a later take-back, is ever cut away, whatever the marker numbers'
// lengths make the positions.
TEST(FormatText, TakeBacksKeepWhatFollows) {
  const FormatCase cases[] = {
      {"empty line before a close", "<div><form>\n\n</form> </div>\n",
       "<div><form></form> </div>"},
      {"text after the close", "<div>\n<form>\n\n</form>}\n</div>\n",
       "<div><form></form>}\n</div>"},
      {"a tag after the close", "<td>\n\n</td><a></a>", "<td></td><a></a>"},
      {"blanks on the empty line", "<font><table>\n  \n</table>\n</font>",
       "<font><table></table></font>"},
      {"a real template's last lines",
       "<div>\n  <div>\n    <FORM method=\"post\">\n      <P><input "
       "type=\"submit\" value=\"Change Settings\"></P>\n\n    </FORM>}\n  "
       "</div>\n</div>\n",
       "<div><div><FORM method=\"post\">\n  <P><input type=\"submit\" "
       "value=\"Change Settings\"></P></FORM>}\n</div></div>"},
  };
  for (const FormatCase& c : cases) check(c);
  for (const std::int64_t openSeq : {9, 99}) {
    const std::string a = std::to_string(openSeq + 1);
    const std::string b = std::to_string(openSeq + 2);
    const std::string t = std::to_string(openSeq + 3);
    const std::string d = std::to_string(openSeq + 4);
    const auto m = [](const std::string& n) { return "<!--@" + n + "@-->"; };
    const std::string expected = "<html>" + m(a) + "<body>" + m(b) + "<table>" +
                                 m(t) + "\n  <body>" + m(d) + "\n  </body>" +
                                 m(d) + "</table>" + m(t) +
                                 "<div></div></body>" + m(b) + "</html>" + m(a);
    check({"two- and three-digit markers",
           "<html><body><table>\n<body>\n</body>\n\n</table><div></div></body>"
           "</html>",
           expected, "", true, false, openSeq});
  }
}

TEST(FormatText, PairMarkers) {
  const FormatCase cases[] = {
      {"old markers go", "<table><!--@7@-->\n</table><!--@7@-->",
       "<table></table>"},
      {"old markers are renumbered", "<table><!--@7@-->\n</table><!--@7@-->",
       "<table><!--@1@--></table><!--@1@-->", "", true},
      {"a comment that only begins like a marker stays",
       "<table>\n<!--@@== doc > more -->\n</table><!--@x@-->",
       "<table>\n  <!--@@== doc > more --></table><!--@x@-->"},
      {"markers of every width go", "<!--@1@--><!--@1234567890123@-->x", "x"},
      {"a marker inside a comment stays", "<!-- <!--@3@--> -->",
       "<!-- <!--@3@--> -->"},
      {"a marker inside a value stays", "<p title=\"<!--@3@-->\">",
       "<p title=\"<!--@3@-->\">"},
      {"a uses up a number", "<a href=x>y</a><table>\n</table>",
       "<a href=x>y</a><table><!--@2@--></table><!--@2@-->", "", true},
      {"font carries no marker", "<font>x</font>", "<font>x</font>", "", true},
      {"unfinished tag gets no marker", "<td", "<td",
       "-> Nesting Error: missing </td> ( <td> on line 1)\n", true},
  };
  for (const FormatCase& c : cases) check(c);
}

TEST(FormatText, NestingFaults) {
  const FormatCase cases[] = {
      {"crossed closing tags", "<table>\n<tr>\n<td></tr>\n</table>\n</form>\n",
       "<table>\n  <tr>\n    <td>\n    </tr>\n  </table></form>",
       "-> Nesting Error Line 3: </tr> instead of </td> ( <td> on line 3)\n"
       "-> Nesting Error Line 4: </table> instead of </tr> ( <tr> on line 2)\n"
       "-> Nesting Error Line 5: </form> instead of </table> ( <table> on line "
       "1)\n"},
      {"closing tag first in the text", "</td>x", "</td>x",
       "-> Nesting Error Line 1: unexpected </td>\n"},
      {"left open, innermost first", "\n\n\n\n<table><tr>", "<table>\n  <tr>",
       "-> Nesting Error: missing </tr> ( <tr> on line 5)\n"
       "-> Nesting Error: missing </table> ( <table> on line 5)\n"},
      {"upper case reported in lower case", "<TABLE>\n</TR>", "<TABLE></TR>",
       "-> Nesting Error Line 2: </tr> instead of </table> ( <table> on line "
       "1)\n"},
      {"unrecognised tags never fault", "<p><li></br></tbody>",
       "<p><li></br></tbody>"},
      {"self-closed td counts as open", "<table>\n<td/>\n</table>",
       "<table>\n  <td/>\n  </table>",
       "-> Nesting Error Line 3: </table> instead of </td> ( <td> on line 2)\n"
       "-> Nesting Error: missing </table> ( <table> on line 1)\n"},
      {"area counts as an open a", "<area href=x>", "<area href=x>",
       "-> Nesting Error: missing </a> ( <a> on line 1)\n"},
      {"declaration swallows a tag",
       "<!DOCTYPE html>\n<table><!--@1@-->\n</table>",
       "<!DOCTYPE html>\n<table><!--@1@--></table>",
       "-> Nesting Error Line 3: unexpected </table>\n", false, true},
      {"stray < hides the opening tag", "a < b <table>\n</table>",
       "a < b <table></table>",
       "-> Nesting Error Line 2: unexpected </table>\n"},
      {"lines inside a tag are counted", "<td\nclass=x\n>\n</tr>",
       "<td\nclass=x\n></tr>",
       "-> Nesting Error Line 4: </tr> instead of </td> ( <td> on line 1)\n",
       false, true},
  };
  for (const FormatCase& c : cases) check(c);
}

TEST(FormatText, NumbersRunOnAcrossFiles) {
  std::int64_t openSeq = 0;
  format("<table></table><a>x</a>", false, openSeq);
  EXPECT_EQ(openSeq, 2);
  const Result second = format("<tr></tr>", true, openSeq);
  EXPECT_EQ(second.text, "<tr><!--@3@--></tr><!--@3@-->");
}

TEST(FormatText, TextEndsAtItsFirstNul) {
  std::int64_t openSeq = 0;
  const Result got =
      format(std::string_view("<table>\0</tr>", 13), false, openSeq);
  EXPECT_EQ(got.text, "<table>");
  EXPECT_EQ(got.messages,
            "t.htm\n-> Nesting Error: missing </table> ( <table> on line 1)\n");
}

// Hostile input: the output is bounded, and nesting is still checked.
TEST(FormatText, DeepUnclosedNestingStaysBounded) {
  std::string input;
  for (int i = 0; i < 200000; ++i) input += "<table>";
  std::int64_t openSeq = 0;
  const Result got = format(input, false, openSeq);
  EXPECT_EQ(got.verdict, Verdict::kFailed);
  EXPECT_EQ(std::count(got.messages.begin(), got.messages.end(), '\n'), 200001);
  EXPECT_TRUE(got.text.empty());
}

TEST(FormatText, SoundTextTooLargeToKeep) {
  // 1,000 levels deep, 40,000 empty lines: 80 MB of indentation.
  std::string input;
  for (int i = 0; i < 1000; ++i) input += "<table>";
  input.append(40000, '\n');
  for (int i = 0; i < 1000; ++i) input += "</table>";
  std::int64_t openSeq = 0;
  const Result got = format(input, false, openSeq);
  EXPECT_EQ(got.verdict, Verdict::kTooLarge);
  EXPECT_EQ(got.messages, "");
  EXPECT_TRUE(got.text.empty());
}

}  // namespace
}  // namespace tagfmt

namespace tagfmt {
namespace {

// Regions between "off" and "on" comments keep their bytes, line ends
// aside, while their tags still count for nesting and numbering.
TEST(FormatText, RegionsKeepTheirBytes) {
  const FormatCase cases[] = {
      {"tags and old markers inside",
       "<table>\n<!-- tagfmt: off -->\n<tr><td>x</td>\n   <!--@9@-->  </tr>\n"
       "<!-- tagfmt: on -->\n</table>",
       "<table>\n  <!-- tagfmt: off -->\n<tr><td>x</td>\n   <!--@9@-->  </tr>\n"
       "<!-- tagfmt: on --></table>"},
      {"no markers written inside, numbers run on",
       "<table>\n<!-- tagfmt: off -->\n<tr>\n</tr>\n<!-- tagfmt: on -->\n"
       "<tr>\n</tr>\n</table>",
       "<table><!--@1@-->\n  <!-- tagfmt: off -->\n<tr>\n</tr>\n"
       "<!-- tagfmt: on -->\n  <tr><!--@3@-->\n  </tr><!--@3@--></table>"
       "<!--@1@-->",
       "", true},
      {"open to the end of the text",
       "<table>\n<!-- tagfmt: off -->\n<tr>\n</tr>\n   </table>\n",
       "<table>\n  <!-- tagfmt: off -->\n<tr>\n</tr>\n   </table>\n"},
      {"an off inside a region is a comment",
       "<!-- tagfmt: off -->\n<!-- tagfmt: off -->\n<table>\n"
       "<!-- tagfmt: on -->\n<tr>\n</tr>\n</table>",
       "<!-- tagfmt: off -->\n<!-- tagfmt: off -->\n<table>\n"
       "<!-- tagfmt: on -->\n  <tr>\n  </tr></table>"},
      {"an on alone is a comment",
       "<table>\n<!-- tagfmt: on -->\n<tr>\n</tr>\n</table>",
       "<table>\n  <!-- tagfmt: on -->\n  <tr>\n  </tr></table>"},
      {"a directive in an attribute value is not one",
       "<table title=\"<!-- tagfmt: off -->\">\n<tr>\n</tr>\n</table>",
       "<table title=\"<!-- tagfmt: off -->\">\n  <tr>\n  </tr></table>"},
      {"nothing taken back after an on",
       "<table>\n<tr>\n<!-- tagfmt: off -->\nx\n<!-- tagfmt: on --></tr>\n"
       "</table>",
       "<table>\n  <tr>\n    <!-- tagfmt: off -->\nx\n<!-- tagfmt: on -->\n"
       "  </tr></table>"},
      {"faults inside are reported",
       "<!-- tagfmt: off -->\n<td>\n</tr>\n<!-- tagfmt: on -->",
       "<!-- tagfmt: off -->\n<td>\n</tr>\n<!-- tagfmt: on -->",
       "-> Nesting Error Line 3: </tr> instead of </td> ( <td> on line 2)\n"},
  };
  for (const FormatCase& c : cases) check(c);
}

}  // namespace
}  // namespace tagfmt
