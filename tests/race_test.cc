// Another writer changes the file while the tool works on it: after the read,
// or after the backup and before the rewrite. The other writer's bytes must
// stay and the tool must say "-> failed".
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

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

// An editor that writes the page in place and then restores its modified
// time, as `touch -r` would, between the checks and the swap: the bytes
// are compared too, and the edit keeps the page's name.
TEST(Race, AnEditThatRestoresTheModifiedTimeIsSeen) {
  ScratchDir dir;
  writeFile(dir / "page.htm", "a\n");
  const auto before = fs::file_time_type::clock::now() - std::chrono::hours(1);
  fs::last_write_time(dir / "page.htm", before);
  PausedTool tool = startPausedTool(dir.path(), {"-w", "page.htm"}, "rewrite");
  ASSERT_TRUE(tool.paused);
  const int page = open((dir / "page.htm").c_str(), O_WRONLY);
  ASSERT_GE(page, 0);
  ASSERT_EQ(pwrite(page, "b", 1, 0), 1);
  close(page);
  fs::last_write_time(dir / "page.htm", before);
  const ToolRun run = resumeTool(tool);
  EXPECT_NE(run.output.find("-> failed"), std::string::npos) << run.output;
  EXPECT_EQ(readFile(dir / "page.htm"), "b\n");
}

// The page is named through a link the tool follows; between the backup and
// the rewrite the link is re-pointed at another file. The rewrite goes to
// the file that was read, and the other file is never even opened.
TEST(Race, ARepointedLinkNeverLeadsTheWrite) {
  ScratchDir dir;
  writeFile(dir / "real.htm", "a\n");
  writeFile(dir / "victim", "keep me\n");
  fs::create_symlink("real.htm", dir / "page.htm");
  PausedTool tool = startPausedTool(dir.path(), {"-w", "page.htm"}, "rewrite");
  ASSERT_TRUE(tool.paused);
  const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(inotify_add_watch(watch, (dir / "victim").c_str(), IN_OPEN), 0);
  fs::remove(dir / "page.htm");
  fs::create_symlink("victim", dir / "page.htm");
  const ToolRun run = resumeTool(tool);
  char event[256];
  EXPECT_LT(read(watch, event, sizeof event), 0) << "the victim was opened";
  close(watch);
  EXPECT_NE(run.output.find("-> failed"), std::string::npos) << run.output;
  EXPECT_EQ(readFile(dir / "victim"), "keep me\n");
  EXPECT_EQ(readFile(dir / "real.htm"), "a\n");
}

// Runs tagfmt on page.htm in `folder` under strace, held for a while at
// `hold` (an strace inject=... of one call).
pid_t startHeld(const std::string& folder, const char* hold) {
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (freopen("out.txt", "w", stdout) == nullptr) _exit(126);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    execlp("strace", "strace", "-f", "-qq", "-o", "/dev/null", "-e", hold,
           TAGFMT_BINARY, "-w", "page.htm", static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

// An editor writes the old file in place just after the swap, so tagfmt
// swaps back; the editor then saves by rename before the swap-back. The
// save keeps the name, and the old file is not removed.
TEST(Race, AnEditorsSaveBeforeTheSwapBackKeepsTheName) {
  if (std::system("command -v strace >/dev/null") != 0) {
    GTEST_SKIP() << "strace is missing";
  }
  ScratchDir dir;
  writeFile(dir / "page.htm", "a\n");
  writeFile(dir / "page.bak", "previous\n");
  // Held just after its second renameat2, the swap of the replace road.
  const pid_t run = startHeld(dir.path().string(),
                              "inject=renameat2:delay_exit=1500000:when=2");
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  // The old file is linked as the backup by now.
  const int old = open((dir / "page.bak").c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(old, 0);
  ASSERT_EQ(write(old, "edited\n", 7), 7);
  close(old);
  writeFile(dir / "save.tmp", "the editor's save\n");
  fs::rename(dir / "save.tmp", dir / "page.htm");
  int status = 0;
  waitpid(run, &status, 0);
  if (readFile(dir / "out.txt").empty()) GTEST_SKIP() << "strace cannot run";
  EXPECT_EQ(readFile(dir / "page.htm"), "the editor's save\n");
  EXPECT_NE(readFile(dir / "out.txt").find("-> failed"), std::string::npos);
  bool keptEdit = false;
  for (const std::string& name : namesIn(dir.path().string())) {
    keptEdit = keptEdit || readFile(dir / name) == "a\nedited\n";
  }
  EXPECT_TRUE(keptEdit) << "the old file, edited, was removed";
}

// A large page on the in-place road is read through a mapping; another
// program writes it while tagfmt copies it for the backup (held in its first
// pwrite64). The backup must not take the new bytes over the previous one.
TEST(Race, AWriteDuringTheBackupCopyKeepsThePreviousBackup) {
  if (std::system("command -v strace >/dev/null") != 0) {
    GTEST_SKIP() << "strace is missing";
  }
  ScratchDir dir;
  std::string old;
  for (int i = 0; i < 200000; ++i) old += "a\n";
  writeFile(dir / "page.htm", old);
  fs::create_hard_link(dir / "page.htm", dir / "other");
  fs::last_write_time(dir / "page.htm",
                      fs::file_time_type::clock::now() - std::chrono::hours(1));
  writeFile(dir / "page.bak", "previous\n");
  const pid_t run = startHeld(dir.path().string(),
                              "inject=pwrite64:delay_enter=1500000:when=1");
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  const int page = open((dir / "page.htm").c_str(), O_WRONLY);
  ASSERT_GE(page, 0);
  ASSERT_EQ(pwrite(page, "b", 1, 0), 1);
  close(page);
  int status = 0;
  waitpid(run, &status, 0);
  if (readFile(dir / "out.txt").empty()) GTEST_SKIP() << "strace cannot run";
  EXPECT_NE(readFile(dir / "out.txt").find("-> failed"), std::string::npos);
  EXPECT_TRUE(readFile(dir / "page.bak") == "previous\n")
      << "the backup took bytes never decided on";
  EXPECT_TRUE(readFile(dir / "page.htm") == "b" + old.substr(1))
      << "the other program's write was lost";
}

}  // namespace
}  // namespace tagfmt::testing
