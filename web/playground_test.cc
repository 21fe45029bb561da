// The playground's file job against tagfmt's own, and its JSON.
#include "web/playground.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "driver/file_job.h"
#include "driver/job_messages.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

using testing::readFile;
using testing::ScratchDir;
using testing::withCr;
using testing::withCrLf;
using testing::writeFile;

const char kExample[] =
    "<xsl:template match=\"/\">\n<table>\n<tr><td>a</td>\n<td>b</td></tr>\n"
    "</table>\n</xsl:template>\n";

RunOptions modes(bool markerMode, bool lineEndsOnly) {
  RunOptions options;
  options.markerMode = markerMode;
  options.lineEndsOnly = lineEndsOnly;
  return options;
}

std::string linesOf(const std::vector<PageMessage>& messages) {
  std::string text;
  for (const PageMessage& message : messages) {
    text += std::to_string(message.line) + " " + message.text;
  }
  return text;
}

TEST(Playground, SaysWhatTheFileJobDoes) {
  const struct {
    const char* name;
    std::string input;
    RunOptions options;
    bool written;
    std::string text;
    std::string messages;
  } cases[] = {
      {"worked example", kExample, modes(false, false), true,
       "<xsl:template match=\"/\">\r\n    <table>\r\n      <tr>\r\n"
       "        <td>a</td>\r\n        <td>b</td>\r\n      </tr>\r\n"
       "    </table></xsl:template>",
       ""},
      {"markers from 1", kExample, modes(true, false), true,
       "<xsl:template match=\"/\"><!--@1@-->\r\n    <table><!--@2@-->\r\n"
       "      <tr><!--@3@-->\r\n        <td><!--@4@-->a</td><!--@4@-->\r\n"
       "        <td><!--@5@-->b</td><!--@5@-->\r\n      </tr><!--@3@-->\r\n"
       "    </table><!--@2@--></xsl:template><!--@1@-->",
       ""},
      {"line ends only", "<table>\n<tr>\r</table>", modes(true, true), true,
       "<table>\r\n<tr>\r\n</table>", ""},
      {"tidy already", "<table>\r\n  <tr>\r\n  </tr></table>",
       modes(false, false), false, "", ""},
      {"faults by LF", "<table>\n<tr>\n</table>\n</td>\n<form>",
       modes(false, false), false, "",
       "3 -> Nesting Error Line 3: </table> instead of </tr> ( <tr> on line "
       "2)\n4 -> Nesting Error Line 4: </td> instead of </table> ( <table> on "
       "line 1)\n"
       "5 -> Nesting Error: missing </form> ( <form> on line 5)\n"},
      {"faults by CR LF", withCrLf("<table>\n\n</td>"), modes(false, false),
       false, "",
       "3 -> Nesting Error Line 3: </td> instead of </table> "
       "( <table> on line 1)\n"},
      {"faults by CR", withCr("<table>\n\n</td>"), modes(false, false), false,
       "",
       "3 -> Nesting Error Line 3: </td> instead of </table> ( <table> "
       "on line 1)\n"},
      {"NUL byte", std::string("<table>\0\n", 9), modes(false, true), false, "",
       "0 -> contains a NUL byte, not changed\n"},
      {"empty", "", modes(false, false), false, "", ""},
  };
  for (const auto& c : cases) {
    const PageResult result = tidyForPage(c.input, c.options, "page.htm");
    EXPECT_EQ(result.written, c.written) << c.name;
    EXPECT_EQ(result.text, c.text) << c.name;
    EXPECT_EQ(linesOf(result.messages), c.messages) << c.name;
  }
}

// Every example, with each kind of line end and in each mode: the page
// shows the bytes and messages the tool's own file job leaves and prints.
TEST(Playground, MatchesTheFileJobOnTheExamples) {
  const std::filesystem::path examples =
      std::filesystem::path(TAGFMT_SOURCE_DIR) / "examples";
  std::string (*const variants[])(std::string_view) = {
      [](std::string_view text) { return std::string(text); }, withCrLf,
      withCr};
  int compared = 0;
  for (const auto& entry : std::filesystem::directory_iterator(examples)) {
    const std::string original = readFile(entry.path().string());
    for (const auto variant : variants) {
      for (const RunOptions& options :
           {modes(false, false), modes(true, false), modes(false, true)}) {
        ScratchDir dir;
        const std::string input = variant(original);
        const std::string path = dir / "page.htm";
        writeFile(path, input);
        std::string said;
        std::int64_t openSeq = 0;
        JobBatch(JobOptions{}, [&](const JobResult& job) {
          said += jobMessages(job);
        }).add(path, options, openSeq);

        const PageResult result = tidyForPage(input, options, "page.htm");
        const std::string where =
            entry.path().filename().string() + " " + std::to_string(compared);
        EXPECT_EQ(result.written ? result.text : input, readFile(path))
            << where;
        std::string messages;
        for (const PageMessage& message : result.messages) {
          messages += message.text;
        }
        std::istringstream lines(said);
        std::string expected;
        for (std::string line; std::getline(lines, line);) {
          if (line.starts_with("-> ")) expected += line + "\n";
        }
        EXPECT_EQ(messages, expected) << where;
        ++compared;
      }
    }
  }
  EXPECT_GE(compared, 12);
}

// The notes come as tagfmt-check prints them: each fault's after it, then
// those on no fault; a tidied file gets the run-on ones only.
TEST(Playground, GivesTheNotesOfTheCheckTool) {
  const struct {
    const char* name;
    std::string input;
    std::string notes;
  } cases[] = {
      {"self-closed and prefix", "<table>\n<td/>\n</table>\n<thead>\n",
       "2 page.htm:2:1: note: <td> on line 2 is written self-closed (\"/>\"), "
       "and a recognised tag counts as opened even then\n"
       "4 page.htm:4:1: note: <thead> counts as <th>: names match by their "
       "beginning\n"},
      {"run-on declaration",
       "<xsl:template>\n<!DOCTYPE x <table>\n</xsl:template>\n</table><p>\n",
       "2 page.htm:2:1: note: the declaration on line 2 runs on to the end of "
       "the file, since no \"->\" follows it, and the tags after it are not "
       "seen\n"},
      {"sound", kExample, ""},
  };
  for (const auto& c : cases) {
    for (const std::string& input : {c.input, withCrLf(c.input)}) {
      const PageResult result =
          tidyForPage(input, modes(false, false), "page.htm");
      EXPECT_EQ(linesOf(result.notes), c.notes) << c.name;
    }
  }
}

TEST(Playground, WritesJson) {
  PageResult result;
  result.written = true;
  result.messages = {{7, "-> a \"b\" \\ c\t\n"}, {0, "x"}};
  result.notes = {{2, "p:2: note: y\n"}};
  EXPECT_EQ(pageResultJson(result),
            "{\"written\":true,\"messages\":[{\"line\":7,\"text\":"
            "\"-> a \\\"b\\\" \\\\ c\\t\\n\"},{\"line\":0,\"text\":"
            "\"x\"}],\"notes\":[{\"line\":2,\"text\":\"p:2: note: y\\n\"}]}");
  EXPECT_EQ(pageResultJson(PageResult{}),
            "{\"written\":false,\"messages\":[],\"notes\":[]}");

  const std::string rules = tagRulesJson();
  EXPECT_TRUE(rules.starts_with(
      "[{\"name\":\"table\",\"indent\":2,\"breakBeforeOpen\":true,"
      "\"breakBeforeClose\":true,\"numbered\":true},{\"name\":\"tr\","))
      << rules;
  EXPECT_TRUE(
      rules.ends_with("{\"name\":\"a\",\"indent\":0,\"breakBeforeOpen\":false,"
                      "\"breakBeforeClose\":false,\"numbered\":false}]"))
      << rules;
  std::size_t count = 0;
  for (std::size_t at = rules.find("\"name\""); at != std::string::npos;
       at = rules.find("\"name\"", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, kTagRules.size());
}

}  // namespace
}  // namespace tagfmt
