// A real run stopped at each file-system call of a rewrite, by strace
// injecting SIGKILL or SIGTERM there, or failing the call: afterwards the
// file holds the old or the new bytes whole, or the backup holds the old
// bytes whole; the backup is the previous one or the new one, whole; and
// after SIGTERM nothing else is left in the folder.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

const char* const kCalls[] = {
    "openat",   "pwrite64",  "sync_file_range", "fsync",    "syncfs", "linkat",
    "renameat", "fallocate", "ftruncate",       "fchown",   "fchmod", "close",
    "write",    "renameat2", "unlinkat",        "fsetxattr"};

// Two pages, so that their backups are made durable as a batch.
const char* const kPages[] = {"page", "next"};

std::string oldText() {
  std::string text;
  for (int i = 0; i < 64 * 1024; ++i) text += "a\n";
  return text;
}

const char kPrevious[] = "previous backup\n";

// Runs strace with `options` on the tool with "-w page.htm next.htm" in
// `folder`; returns the wait status.
int runUnderStrace(const std::string& folder,
                   const std::vector<std::string>& options) {
  std::vector<std::string> words{"strace", "-f", "-qq", "-o", "/dev/null"};
  words.insert(words.end(), options.begin(), options.end());
  words.insert(words.end(), {TAGFMT_BINARY, "-w", "page.htm", "next.htm"});
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
    alarm(60);
    // The leak check of a sanitizer build cannot work under ptrace.
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    execvp("strace", argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

// With `secondNames`, each page has another name too, which keeps it on the
// in-place road.
void makeScene(const ScratchDir& dir, bool secondNames = false) {
  for (const std::string page : kPages) {
    writeFile(dir / (page + ".htm"), oldText());
    writeFile(dir / (page + ".bak"), kPrevious);
    if (secondNames) {
      std::filesystem::create_hard_link(dir / (page + ".htm"),
                                        dir / (page + ".link"));
    }
  }
}

// How many times a run makes each call of kCalls; empty when strace cannot
// trace here.
std::map<std::string, int> countCalls(bool secondNames = false) {
  ScratchDir dir;
  makeScene(dir, secondNames);
  const std::string log = dir / "calls.log";
  std::string calls;
  for (const char* call : kCalls) {
    calls += std::string(calls.empty() ? "" : ",") + call;
  }
  std::map<std::string, int> counts;
  const std::string command =
      "cd '" + dir.path().string() +
      "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o '" + log +
      "' -e trace=" + calls + " '" + TAGFMT_BINARY +
      "' -w page.htm next.htm >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return counts;
  std::istringstream lines(readFile(log));
  std::string line;
  while (std::getline(lines, line)) {
    // strace pads the process id: "123   openat(...".
    const std::size_t start = line.find_first_not_of(' ', line.find(' '));
    const std::size_t end = line.find('(', start);
    if (start == std::string::npos || end == std::string::npos) continue;
    ++counts[line.substr(start, end - start)];
  }
  return counts;
}

TEST(Interrupt, EveryCallOfARewrite) {
  const std::map<std::string, int> counts = countCalls();
  if (counts.empty()) GTEST_SKIP() << "strace is missing or cannot trace here";
  const std::string old = oldText();
  const std::string updated = withCrLf(old);
  int stopped = 0;
  for (const auto& [call, count] : counts) {
    for (int when = 1; when <= count; ++when) {
      for (const int signal : {SIGKILL, SIGTERM}) {
        const std::string where = call + " #" + std::to_string(when) + " " +
                                  (signal == SIGKILL ? "SIGKILL" : "SIGTERM");
        ScratchDir dir;
        makeScene(dir);
        const int status = runUnderStrace(
            dir.path().string(),
            {"-e", "inject=" + call + ":signal=" + std::to_string(signal) +
                       ":when=" + std::to_string(when)});
        const bool killed = WIFSIGNALED(status) && WTERMSIG(status) == signal;
        // A held SIGTERM takes effect once the file is whole, at the end.
        EXPECT_TRUE(killed) << where << ", wait status " << status;
        stopped += killed ? 1 : 0;
        for (const std::string name : kPages) {
          const std::string page = readFile(dir / (name + ".htm"));
          const std::string backup = readFile(dir / (name + ".bak"));
          EXPECT_TRUE(backup == kPrevious || backup == old) << where;
          // On the replace road the name holds one text whole, always.
          EXPECT_TRUE(page == old || page == updated) << where;
        }
        if (signal == SIGTERM) {
          EXPECT_EQ(namesIn(dir.path().string()),
                    (std::vector<std::string>{"next.bak", "next.htm",
                                              "page.bak", "page.htm"}))
              << where;
        }
      }
    }
  }
  EXPECT_GT(stopped, 20);
}

// A run killed at any call of either road, then a run of its own: the
// second puts right what the first left, so each page holds its new text,
// its backup the old bytes, and the folder nothing else.
TEST(Interrupt, WhatAKilledRunLeavesTheNextRunPutsRight) {
  const std::string old = oldText();
  for (const bool inPlace : {false, true}) {
    const std::map<std::string, int> counts = countCalls(inPlace);
    if (counts.empty()) GTEST_SKIP() << "strace is missing or cannot trace";
    std::vector<std::string> names{"next.bak", "next.htm", "page.bak",
                                   "page.htm"};
    if (inPlace)
      names = {"next.bak", "next.htm", "next.link",
               "page.bak", "page.htm", "page.link"};
    for (const auto& [call, count] : counts) {
      for (int when = 1; when <= count; ++when) {
        const std::string where =
            call + " #" + std::to_string(when) + (inPlace ? " in place" : "");
        ScratchDir dir;
        makeScene(dir, inPlace);
        runUnderStrace(dir.path().string(),
                       {"-e", "inject=" + call +
                                  ":signal=KILL:when=" + std::to_string(when)});
        const std::string again = "cd '" + dir.path().string() + "' && '" +
                                  TAGFMT_BINARY +
                                  "' -w page.htm next.htm >/dev/null 2>&1";
        EXPECT_EQ(std::system(again.c_str()), 0) << where;
        for (const std::string name : kPages) {
          EXPECT_TRUE(readFile(dir / (name + ".htm")) == withCrLf(old))
              << where << " " << name;
          EXPECT_TRUE(readFile(dir / (name + ".bak")) == old)
              << where << " " << name;
        }
        EXPECT_EQ(namesIn(dir.path().string()), names) << where;
      }
    }
  }
}

TEST(Interrupt, AFailedWritePutsTheOldBytesBack) {
  if (countCalls().empty()) GTEST_SKIP() << "strace is missing or cannot trace";
  const std::string old = oldText();
  // The second file write is the rewrite, after the backup's.
  for (const char* inject : {"inject=pwrite64:error=EIO:when=2",
                             "inject=pwrite64:error=ENOSPC:when=2",
                             "inject=ftruncate:error=EIO:when=1"}) {
    ScratchDir dir;
    makeScene(dir);
    // A second link keeps the file on the in-place road.
    std::filesystem::create_hard_link(dir / "page.htm", dir / "page.link");
    const std::string out = dir / "out";
    const std::string command =
        "cd '" + dir.path().string() +
        "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq -o /dev/null -e " +
        inject + " '" + TAGFMT_BINARY + "' -w page.htm > out 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << inject;
    EXPECT_EQ(readFile(out),
              "page.htm\n   writing page.bak\n   writing page.htm\n-> failed\n")
        << inject;
    EXPECT_TRUE(readFile(dir / "page.htm") == old) << inject;
    EXPECT_TRUE(readFile(dir / "page.bak") == old) << inject;
  }
}

// The first child of `parent`, or -1.
pid_t childOf(pid_t parent) {
  const std::string path = "/proc/" + std::to_string(parent) + "/task/" +
                           std::to_string(parent) + "/children";
  pid_t child = -1;
  std::ifstream(path) >> child;
  return child;
}

// One SIGINT while a batch of twenty is held by strace (tagfmt's in the
// folder's sync for the backup names, tagfmt-check's in the first swap):
// the run ends after the first file, with what it said of it written, the
// other pages as they were and no name of the run's left.
TEST(Interrupt, OneSignalEndsTheRunAfterTheFileAtHand) {
  if (std::system("command -v strace >/dev/null") != 0) {
    GTEST_SKIP() << "strace is missing";
  }
  const struct {
    std::vector<const char*> command;
    const char* hold;
    std::string said;
    std::size_t namesLeft;  // beside the pages
  } kRuns[] = {
      {{TAGFMT_BINARY, "-w"},
       "inject=fsync:delay_enter=1000000:when=1",
       "p10.htm\n   writing p10.bak\n   writing p10.htm\n",
       2},
      {{TAGFMT_CHECK_BINARY, "--fix", "--line-ends-only", "--"},
       "inject=renameat2:delay_exit=1000000:when=1",
       "p10.htm: tidied\n",
       1},
  };
  for (const auto& run : kRuns) {
    SCOPED_TRACE(run.command[0]);
    ScratchDir dir;
    std::vector<std::string> pages;
    for (char tens = '1'; tens <= '2'; ++tens) {
      for (char ones = '0'; ones <= '9'; ++ones) {
        pages.push_back(std::string{'p', tens, ones, '.', 'h', 't', 'm'});
        writeFile(dir / pages.back(), "a\n");
      }
    }
    const pid_t child = fork();
    if (child == 0) {
      std::signal(SIGINT, SIG_DFL);
      if (chdir(dir.path().c_str()) != 0) _exit(126);
      if (freopen("out.txt", "w", stdout) == nullptr) _exit(126);
      std::vector<const char*> argv = {"strace",    "-f", "-qq",   "-o",
                                       "/dev/null", "-e", run.hold};
      argv.insert(argv.end(), run.command.begin(), run.command.end());
      for (const std::string& page : pages) argv.push_back(page.c_str());
      argv.push_back(nullptr);
      execvp("strace", const_cast<char* const*>(argv.data()));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const pid_t tool = childOf(child);
    ASSERT_GT(tool, 0);
    kill(tool, SIGINT);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(readFile(dir / "out.txt"), run.said);
    EXPECT_EQ(readFile(dir / "p10.htm"), "a\r\n");
    for (std::size_t i = 1; i < pages.size(); ++i) {
      EXPECT_EQ(readFile(dir / pages[i]), "a\n") << pages[i];
    }
    EXPECT_EQ(namesIn(dir.path().string()).size(),
              pages.size() + run.namesLeft);
  }
}

}  // namespace
}  // namespace tagfmt::testing
