// Real file-system faults while a file is backed up and rewritten: a full
// disk, a read-only folder, an immutable file, backup or folder, a folder at
// the backup's name. Each must leave the old bytes on disk, in the file or
// whole in the backup, and let the run go on with the next name.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kTimeLimit = 120;  // seconds; only a hang comes near it
constexpr std::size_t kKiB = 1024;

// 256 KiB that grow by half when their line ends become CR LF.
std::string bigPage() {
  std::string page;
  for (int i = 0; i < 128 * 1024; ++i) page += "x\n";
  return page;
}

const char kOldBackup[] = "old backup\n";
const char kNextMessages[] =
    "next.htm\n   writing next.bak\n   writing next.htm\n";

// True when the file holds `bytes`; says only the sizes when not, as the
// texts here are large.
::testing::AssertionResult holds(const std::string& path,
                                 const std::string& bytes) {
  const std::string got = readFile(path);
  if (got == bytes) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << path << " holds " << got.size() << " other bytes, not the "
         << bytes.size() << " expected";
}

// A scratch folder with the folder "vol" for the file under test and the
// file next.htm, named after it on the command line.
struct Scene {
  ScratchDir dir;
  std::string vol = dir / "vol";
  std::string page = dir / "vol/page.htm";
  std::string backup = dir / "vol/page.bak";

  Scene() {
    fs::create_directory(vol);
    writeFile(dir / "next.htm", "x\n");
  }

  // Runs the tool on vol/page.htm and next.htm, line ends only; checks that it
  // printed `pageMessages` for the page, then went on with next.htm, and left
  // no temporary file in vol.
  void runExpecting(const std::string& pageMessages) const {
    const ToolRun run = runToolWithin(
        dir.path(), {"-w", "vol/page.htm", "next.htm"}, kTimeLimit);
    EXPECT_TRUE(run.exitedWithZero && !run.timedOut);
    EXPECT_EQ(run.output, pageMessages + kNextMessages);
    EXPECT_EQ(readFile(dir / "next.htm"), "x\r\n");
    EXPECT_TRUE(temporaryLeftovers(vol).empty());
  }
};

const char kBackupFailed[] =
    "vol/page.htm\n   writing vol/page.bak\n-> failed\n";
const char kRewriteFailed[] =
    "vol/page.htm\n   writing vol/page.bak\n   writing vol/page.htm\n"
    "-> failed\n";
const char kNothingWritten[] = "vol/page.htm\n-> failed\n";

// A full disk on each kind of file system: tmpfs, and ext4 on a loop device.
class DiskFull : public ::testing::TestWithParam<const char*> {
 protected:
  // Mounts a small file system on vol, holding the page and an old backup,
  // then fills it until `room` stays free.
  void mountAndFill(std::size_t room) {
    std::string why;
    const std::string kind = GetParam();
    const bool mounted =
        kind == "tmpfs"
            ? mounts_.tmpfs(scene.vol, 4096 * kKiB, why)
            : mounts_.ext4(scene.dir / "vol.img", scene.vol, 8192 * kKiB, why);
    if (!mounted) GTEST_SKIP() << "cannot mount " << kind << ": " << why;
    writeFile(scene.page, bigPage());
    writeFile(scene.backup, kOldBackup);
    if (!fillLeaving(scene.vol, room, why)) GTEST_SKIP() << why;
  }

  Scene scene;
  MountPoint mounts_;  // unmounted before the scene's folder is removed
};

TEST_P(DiskFull, WhileTheBackupIsWritten) {
  mountAndFill(64 * kKiB);
  if (IsSkipped()) return;
  scene.runExpecting(kBackupFailed);
  EXPECT_TRUE(holds(scene.page, bigPage()));
  // The new backup never took the old one's name.
  EXPECT_EQ(readFile(scene.backup), kOldBackup);
}

TEST_P(DiskFull, WhileTheFileIsRewritten) {
  // Room for the backup but not for the file's growth; a second link keeps
  // the file on the in-place road.
  mountAndFill((256 + 64) * kKiB);
  if (IsSkipped()) return;
  fs::create_hard_link(scene.page, scene.vol + "/page.link");
  scene.runExpecting(kRewriteFailed);
  EXPECT_TRUE(holds(scene.page, bigPage()));
  EXPECT_TRUE(holds(scene.backup, bigPage()));
}

INSTANTIATE_TEST_SUITE_P(FileSystems, DiskFull,
                         ::testing::Values("tmpfs", "ext4"));

TEST(Fault, FolderIsReadOnly) {
  Scene scene;
  writeFile(scene.page, bigPage());
  MountPoint mounts;
  std::string why;
  if (!mounts.bindReadOnly(scene.vol, why)) GTEST_SKIP() << why;
  scene.runExpecting(kNothingWritten);
  EXPECT_TRUE(holds(scene.page, bigPage()));
  EXPECT_FALSE(exists(scene.backup));
}

TEST(Fault, FileIsImmutable) {
  Scene scene;
  writeFile(scene.page, bigPage());
  ImmutableFlag flag;
  std::string why;
  if (!flag.set(scene.page, why)) GTEST_SKIP() << why;
  scene.runExpecting(kRewriteFailed);
  EXPECT_TRUE(holds(scene.page, bigPage()));
  EXPECT_TRUE(holds(scene.backup, bigPage()));
}

TEST(Fault, BackupIsImmutable) {
  Scene scene;
  writeFile(scene.page, bigPage());
  writeFile(scene.backup, kOldBackup);
  ImmutableFlag flag;
  std::string why;
  if (!flag.set(scene.backup, why)) GTEST_SKIP() << why;
  scene.runExpecting(kNothingWritten);  // the old backup cannot make way
  EXPECT_TRUE(holds(scene.page, bigPage()));
  EXPECT_EQ(readFile(scene.backup), kOldBackup);
}

TEST(Fault, FolderIsImmutable) {
  Scene scene;
  writeFile(scene.page, bigPage());
  ImmutableFlag flag;
  std::string why;
  if (!flag.set(scene.vol, why)) GTEST_SKIP() << why;
  scene.runExpecting(kNothingWritten);
  EXPECT_TRUE(holds(scene.page, bigPage()));
  EXPECT_FALSE(exists(scene.backup));
}

TEST(Fault, BackupNameIsAFolder) {
  Scene scene;
  writeFile(scene.page, bigPage());
  fs::create_directory(scene.backup);
  writeFile(scene.backup + "/inside", "kept");
  scene.runExpecting(kNothingWritten);
  EXPECT_TRUE(holds(scene.page, bigPage()));
  EXPECT_EQ(readFile(scene.backup + "/inside"), "kept");
}

}  // namespace
}  // namespace tagfmt::testing
