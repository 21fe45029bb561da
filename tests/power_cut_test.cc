// A power cut at each system call of a two-file batch, on a loop-mounted
// ext4: the run is held in the call, the data written so far is written
// back, then the file system is shut down without its journal reaching the
// disk, as a power cut would leave it. Mounted again, each page holds its
// old or its new text whole, and a page that holds its new text has its old
// text in its backup.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

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

void makeScene(const std::string& folder) {
  for (const std::string page : kPages) {
    writeFile(folder + "/" + page + ".htm", oldText());
    writeFile(folder + "/" + page + ".bak", kPrevious);
  }
  sync();
}

// How often the run makes each call of kCalls in `folder`.
std::map<std::string, int> countCalls(const std::string& folder) {
  makeScene(folder);
  std::string calls;
  for (const char* call : kCalls) {
    calls += std::string(calls.empty() ? "" : ",") + call;
  }
  const std::string log = folder + "/../calls.log";
  std::map<std::string, int> counts;
  if (!shell("cd '" + folder + "' && ASAN_OPTIONS=detect_leaks=0 strace -f " +
             "-qq -o '" + log + "' -e trace=" + calls + " '" + TAGFMT_BINARY +
             "' -w page.htm next.htm")) {
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
pid_t startHeld(const std::string& folder, const std::string& call, int when) {
  const pid_t child = fork();
  if (child == 0) {
    setpgid(0, 0);
    if (chdir(folder.c_str()) != 0) _exit(126);
    if (freopen("/dev/null", "w", stdout) == nullptr) _exit(126);
    setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
    const std::string inject =
        "inject=" + call + ":delay_enter=30000000:when=" + std::to_string(when);
    execlp("strace", "strace", "-f", "-qq", "-o", "/dev/null", "-e",
           inject.c_str(), TAGFMT_BINARY, "-w", "page.htm", "next.htm",
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

TEST(PowerCut, EveryCallOfATwoFileBatch) {
  if (!shell("command -v xfs_io") || !shell("command -v strace")) {
    GTEST_SKIP() << "xfs_io (Debian package xfsprogs) or strace is missing";
  }
  ScratchDir dir;
  const std::string image = dir / "vol.img";
  const std::string vol = dir / "vol";
  fs::create_directory(vol);
  MountPoint mounts;
  std::string why;
  if (!mounts.ext4(image, vol, 32u << 20, why)) GTEST_SKIP() << why;
  const std::map<std::string, int> counts = countCalls(vol);
  if (counts.empty()) GTEST_SKIP() << "strace cannot trace here";
  if (!shell("xfs_io -x -c shutdown '" + vol + "'")) {
    GTEST_SKIP() << "this kernel cannot shut an ext4 file system down";
  }
  const std::string old = oldText();
  const std::string updated = withCrLf(old);
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
      makeScene(vol);
      const pid_t run = startHeld(vol, call, when);
      std::this_thread::sleep_for(std::chrono::milliseconds(400));
      writeBackData(vol);
      ASSERT_TRUE(shell("xfs_io -x -c shutdown '" + vol + "'")) << where;
      kill(-run, SIGKILL);
      waitpid(run, nullptr, 0);
      ASSERT_TRUE(shell(remount)) << where;
      ++cuts;
      for (const std::string name : kPages) {
        const std::string page = readFile(vol + "/" + name + ".htm");
        const std::string backup = readFile(vol + "/" + name + ".bak");
        EXPECT_TRUE(page == old || page == updated) << where << " " << name;
        EXPECT_TRUE(backup == kPrevious || backup == old)
            << where << " " << name;
        if (page == updated) {
          EXPECT_EQ(backup, old) << where << " " << name;
        }
      }
    }
  }
  EXPECT_GT(cuts, 10);
}

}  // namespace
}  // namespace tagfmt::testing
