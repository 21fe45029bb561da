// A power cut at each system call of a two-file batch, on a loop-mounted
// ext4 and XFS: the run is held in the call, the data written so far is written
// back, then the file system is shut down without its journal reaching the
// disk, as a power cut would leave it. Mounted again, each page holds its
// old or its new text whole, and a page that holds its new text has its old
// text in its backup; a page fixed in place with no backup that is torn has
// its old text in a hidden file beside it. A run after the cut puts right
// what the cut one left.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

const char* const kCalls[] = {"openat",   "pwrite64",  "sync_file_range",
                              "fsync",    "syncfs",    "linkat",
                              "renameat", "renameat2", "unlinkat",
                              "fchown",   "fchmod",    "fsetxattr"};
const char* const kPages[] = {"page", "next"};
const char kPrevious[] = "previous backup\n";

std::string oldText() {
  std::string text;
  for (int i = 0; i < 16 * 1024; ++i) text += "a\n";
  return text;
}

bool shell(const std::string& command) {
  return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

// The program a run starts, its arguments before the pages, and whether
// each page has a second name, which sends it down the in-place road.
struct Run {
  const char* binary;
  const char* option;
  bool secondNames;
};

const Run kTagfmt = {TAGFMT_BINARY, "-w", false};
const Run kFixInPlace = {TAGFMT_CHECK_BINARY, "--fix", true};

std::string pages() {
  std::string names;
  for (const std::string page : kPages) names += " " + page + ".htm";
  return names;
}

void makeScene(const std::string& folder, const Run& run) {
  for (const std::string page : kPages) {
    writeFile(folder + "/" + page + ".htm", oldText());
    writeFile(folder + "/" + page + ".bak", kPrevious);
    if (run.secondNames) {
      fs::create_hard_link(folder + "/" + page + ".htm",
                           folder + "/" + page + ".link");
    }
  }
  sync();
}

// How often the run makes each call of kCalls in `folder`.
std::map<std::string, int> countCalls(const std::string& folder,
                                      const Run& run) {
  makeScene(folder, run);
  std::string calls;
  for (const char* call : kCalls) {
    calls += std::string(calls.empty() ? "" : ",") + call;
  }
  const std::string log = folder + "/../calls.log";
  std::map<std::string, int> counts;
  if (!shell("cd '" + folder + "' && ASAN_OPTIONS=detect_leaks=0 strace -f " +
             "-qq -o '" + log + "' -e trace=" + calls + " '" + run.binary +
             "' " + run.option + pages())) {
    return counts;
  }
  std::istringstream lines(readFile(log));
  for (std::string line; std::getline(lines, line);) {
    const std::size_t start = line.find_first_not_of(' ', line.find(' '));
    const std::size_t end = line.find('(', start);
    if (start != std::string::npos && end != std::string::npos) {
      ++counts[line.substr(start, end - start)];
    }
  }
  return counts;
}

// Starts the run with `call` number `when` held for a long while.
pid_t startHeld(const std::string& folder, const Run& run,
                const std::string& call, int when) {
  const pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    const std::string inject =
        "inject=" + call + ":delay_enter=30000000:when=" + std::to_string(when);
    execlp("strace", "strace", "-f", "-qq", "-o", "/dev/null", "-e",
           inject.c_str(), run.binary, run.option, "page.htm", "next.htm",
           static_cast<char*>(nullptr));
    _exit(127);
  }
  return child;
}

// Writes back the data of every file in `folder`, not its metadata.
void writeBackData(const std::string& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    const int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    sync_file_range(fd, 0, 0,
                    SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE |
                        SYNC_FILE_RANGE_WAIT_AFTER);
    close(fd);
  }
}

// True when a hidden file of the job's in `folder` holds `bytes`.
bool hiddenCopyHolds(const std::string& folder, const std::string& bytes) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with(".tagfmt-") &&
        readFile(entry.path()) == bytes) {
      return true;
    }
  }
  return false;
}

// Cuts the power at every call of `run` in turn, on a file system of the
// type `type`, and checks what is left.
void cutAtEveryCall(const Run& run, const std::string& type);
void checkPages(const std::string& vol, const Run& run,
                const std::string& where);
void checkNextRun(const std::string& vol, const Run& run,
                  const std::string& where);

TEST(PowerCut, EveryCallOfATwoFileBatch) { cutAtEveryCall(kTagfmt, "ext4"); }

TEST(PowerCut, EveryCallOfAFixInPlaceWithoutBackup) {
  cutAtEveryCall(kFixInPlace, "ext4");
}

TEST(PowerCut, EveryCallOfATwoFileBatchOnXfs) {
  cutAtEveryCall(kTagfmt, "xfs");
}

TEST(PowerCut, EveryCallOfAFixInPlaceWithoutBackupOnXfs) {
  cutAtEveryCall(kFixInPlace, "xfs");
}

void cutAtEveryCall(const Run& run, const std::string& type) {
  if (!shell("command -v xfs_io") || !shell("command -v strace")) {
    GTEST_SKIP() << "xfs_io (Debian package xfsprogs) or strace is missing";
  }
  ScratchDir dir;
  const std::string image = dir / "vol.img";
  const std::string vol = dir / "vol";
  fs::create_directory(vol);
  MountPoint mounts;
  std::string why;
  // XFS takes no file system smaller than 300 MB; the image is sparse.
  const std::size_t size = type == "xfs" ? 320u << 20 : 32u << 20;
  if (!mounts.loop(type, image, vol, size, why)) GTEST_SKIP() << why;
  const std::map<std::string, int> counts = countCalls(vol, run);
  if (counts.empty()) GTEST_SKIP() << "strace cannot trace here";
  if (!shell("xfs_io -x -c shutdown '" + vol + "'")) {
    GTEST_SKIP() << "this kernel cannot shut an " << type
                 << " file system down";
  }
  // The killed run may hold the folder for a moment after strace ends.
  const std::string remount = "for i in $(seq 50); do umount '" + vol +
                              "' && break; sleep 0.1; done; mount -o loop '" +
                              image + "' '" + vol + "'";
  int cuts = 0;
  for (const auto& [call, count] : counts) {
    for (int when = 1; when <= count; ++when) {
      const std::string where = call + " #" + std::to_string(when);
      ASSERT_TRUE(shell(remount)) << where;
      for (const auto& entry : fs::directory_iterator(vol)) {
        fs::remove_all(entry.path());
      }
      makeScene(vol, run);
      const pid_t held = startHeld(vol, run, call, when);
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      writeBackData(vol);
      ASSERT_TRUE(shell("xfs_io -x -c shutdown '" + vol + "'")) << where;
      kill(-held, SIGKILL);
      waitpid(held, nullptr, 0);
      ASSERT_TRUE(shell(remount)) << where;
      ++cuts;
      checkPages(vol, run, where);
      checkNextRun(vol, run, where);
    }
  }
  EXPECT_GT(cuts, 10);
}

// Each page is whole, old or new, with its old text in its backup when it
// is new; fixed with no backup, a torn page has it in a hidden file.
void checkPages(const std::string& vol, const Run& run,
                const std::string& where) {
  const std::string old = oldText();
  const std::string updated = withCrLf(old);
  for (const std::string name : kPages) {
    const std::string page = readFile(vol + "/" + name + ".htm");
    const std::string backup = readFile(vol + "/" + name + ".bak");
    const std::string at = where + " " + name;
    if (run.secondNames) {
      EXPECT_TRUE(page == old || page == updated || hiddenCopyHolds(vol, old))
          << at << ": torn, with no copy of the old text";
      EXPECT_EQ(backup, kPrevious) << at;
      continue;
    }
    EXPECT_TRUE(page == old || page == updated) << at;
    EXPECT_TRUE(backup == kPrevious || backup == old) << at;
    if (page == updated) {
      EXPECT_EQ(backup, old) << at;
    }
  }
}

// The same run again puts right what the cut one left: each page holds
// its new text, its backup the old one (with no backup, the previous), and
// the folder holds nothing else.
void checkNextRun(const std::string& vol, const Run& run,
                  const std::string& where) {
  const std::string command = "ASAN_OPTIONS=detect_leaks=0 '" +
                              std::string(run.binary) + "' " + run.option;
  // What the run makes of a page that nothing was done to.
  const ScratchDir clean;
  writeFile(clean / "page.htm", oldText());
  shell("cd '" + clean.path().string() + "' && " + command + " page.htm");
  const std::string tidied = readFile(clean / "page.htm");
  shell("cd '" + vol + "' && " + command + pages());
  std::vector<std::string> names;
  for (const std::string name : kPages) {
    const std::string at = where + ", then a run: " + name;
    const std::string page = readFile(vol + "/" + name + ".htm");
    EXPECT_TRUE(page == tidied) << at << ": " << page.size() << " bytes";
    EXPECT_TRUE(readFile(vol + "/" + name + ".bak") ==
                (run.secondNames ? kPrevious : oldText()))
        << at;
    names.insert(names.end(), {name + ".bak", name + ".htm"});
    if (run.secondNames) names.push_back(name + ".link");
  }
  std::sort(names.begin(), names.end());
  // tagfmt-check hands the job only pages to change: the hidden copy beside
  // a page its cut run had finished waits for a run that reads the page.
  if (run.secondNames) {
    shell("cd '" + vol + "' && ASAN_OPTIONS=detect_leaks=0 '" + TAGFMT_BINARY +
          "' -w" + pages());
  }
  std::vector<std::string> left = namesIn(vol);
  std::erase(left, "lost+found");
  EXPECT_EQ(left, names) << where << ", then a run";
}

}  // namespace
}  // namespace tagfmt::testing
