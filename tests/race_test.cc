// Another writer changes the file while the tool works on it: after the read,
// or after the backup and before the rewrite. The other writer's bytes must
// stay and the tool must say "-> failed".
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

const char kOld[] = "<table>\n<tr><td>x</td></tr>\n</table>\n";

TEST(Race, TheOtherWritersBytesAreKept) {
  enum class Change { kAppend, kTruncate, kSameSizeInPlace, kSavedByRename };
  const struct {
    const char* what;
    Change change;
  } changes[] = {
      {"appended to", Change::kAppend},
      {"cut short", Change::kTruncate},
      {"rewritten in place, same size", Change::kSameSizeInPlace},
      {"saved under a new name and renamed over", Change::kSavedByRename},
  };
  const struct {
    const char* step;
    const char* output;
    bool backedUp;
  } steps[] = {
      {"read", "page.htm\n-> failed\n", false},
      // The swap is undone and the backup name given back to the previous
      // backup, so it never names the file that another program changed.
      {"rewrite",
       "page.htm\n   writing page.bak\n   writing page.htm\n-> failed\n",
       false},
  };
  for (const char* ends : {"\n", "\r\n", "\r"}) {
    const std::string old = ends == std::string("\n")   ? kOld
                            : ends == std::string("\r") ? withCr(kOld)
                                                        : withCrLf(kOld);
    for (const auto& step : steps) {
      for (const auto& c : changes) {
        const std::string where = std::string(c.what) + " at " + step.step;
        ScratchDir dir;
        const std::string page = dir / "page.htm";
        writeFile(page, old);
        writeFile(dir / "page.bak", "previous");
        PausedTool tool = startPausedTool(dir.path(), {"page.htm"}, step.step);
        ASSERT_TRUE(tool.paused) << where;
        std::string theirs = old;
        switch (c.change) {
          case Change::kAppend:
            theirs += "<p>added</p>";
            writeFile(page, theirs);
            break;
          case Change::kTruncate:
            theirs.resize(7);
            writeFile(page, theirs);
            break;
          case Change::kSameSizeInPlace:
            theirs[1] = 'T';
            writeFile(page, theirs);
            break;
          case Change::kSavedByRename:
            theirs = "saved";
            writeFile(dir / "page.htm~", theirs);
            fs::rename(dir / "page.htm~", page);
            break;
        }
        const ToolRun run = resumeTool(tool);
        EXPECT_TRUE(run.exitedWithZero) << where;
        EXPECT_EQ(run.output, step.output) << where;
        EXPECT_EQ(readFile(page), theirs) << where;
        EXPECT_EQ(readFile(dir / "page.bak"), step.backedUp ? old : "previous")
            << where;
        EXPECT_TRUE(temporaryLeftovers(dir.path().string()).empty()) << where;
      }
    }
  }
}

TEST(Race, AnUntouchedFileIsRewrittenAfterThePause) {
  for (const char* step : {"read", "rewrite"}) {
    ScratchDir dir;
    writeFile(dir / "page.htm", "a\n");
    PausedTool tool = startPausedTool(dir.path(), {"-w", "page.htm"}, step);
    ASSERT_TRUE(tool.paused) << step;
    const ToolRun run = resumeTool(tool);
    EXPECT_EQ(run.output,
              "page.htm\n   writing page.bak\n   writing page.htm\n")
        << step;
    EXPECT_EQ(readFile(dir / "page.htm"), "a\r\n") << step;
    EXPECT_EQ(readFile(dir / "page.bak"), "a\n") << step;
  }
}

// A second run, of tagfmt or of tagfmt-check --fix, while the first is
// between its backup and its rewrite: the second says "-> failed" and
// leaves the page, and the first then keeps the old bytes in the backup.
TEST(Race, ASecondRunMeanwhileFailsAndLosesNothing) {
  const struct {
    const char* binary;
    std::vector<std::string> arguments;
    const char* says;
  } seconds[] = {
      {TAGFMT_BINARY, {"-w", "page.htm"}, "page.htm\n-> failed\n"},
      {TAGFMT_CHECK_BINARY, {"--fix", "page.htm"}, "page.htm: cannot write"},
  };
  for (const bool secondName : {false, true}) {
    for (const auto& second : seconds) {
      const std::string where = std::string(second.binary) +
                                (secondName ? ", in place" : ", replaced");
      ScratchDir dir;
      writeFile(dir / "page.htm", "a\n");
      writeFile(dir / "page.bak", "previous\n");
      if (secondName) fs::create_hard_link(dir / "page.htm", dir / "other");
      PausedTool first =
          startPausedTool(dir.path(), {"-w", "page.htm"}, "rewrite");
      ASSERT_TRUE(first.paused) << where;
      const ProgramRun run =
          runProgram(second.binary, dir.path(), second.arguments);
      EXPECT_NE((run.out + run.err).find(second.says), std::string::npos)
          << where << ": " << run.out << run.err;
      EXPECT_EQ(readFile(dir / "page.htm"), "a\n") << where;
      const ToolRun done = resumeTool(first);
      EXPECT_EQ(done.output,
                "page.htm\n   writing page.bak\n   writing page.htm\n")
          << where;
      EXPECT_EQ(readFile(dir / "page.htm"), "a\r\n") << where;
      EXPECT_EQ(readFile(dir / "page.bak"), "a\n") << where;
    }
  }
}

}  // namespace
}  // namespace tagfmt::testing
