// Which road each kind of file takes, and what the replace road keeps: the
// old file becomes the backup with its bytes and times, the new one takes
// its owner, mode and extended attributes; a reader never sees a page half
// written.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

const char kUntidy[] = "<table>\n<tr><td>x</td></tr>\n</table>\n";

struct stat statOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
  return st;
}

std::string attribute(const std::string& path, const char* name) {
  char value[64] = {};
  const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
  return size < 0 ? "" : std::string(value, static_cast<std::size_t>(size));
}

TEST(Road, EachKindOfFile) {
  TestUser user;
  const struct {
    const char* what;
    bool hardLink;   // a second name for the page
    bool symlink;    // the page is named through a link
    bool otherUser;  // owned by the test user
    bool replaced;   // expected road
  } cases[] = {
      {"a plain file", false, false, false, true},
      {"a file of another user", false, false, true, true},
      {"a file with two links", true, false, false, false},
      {"a file named through a symbolic link", false, true, false, false},
  };
  for (const auto& c : cases) {
    if (c.otherUser && !user.made()) continue;
    ScratchDir dir;
    const std::string page = dir / "page.htm";
    writeFile(page, kUntidy);
    ASSERT_EQ(::chmod(page.c_str(), 0640), 0);
    if (c.otherUser) {
      ASSERT_EQ(::chown(page.c_str(), user.uid(), user.gid()), 0);
    }
    const bool tagged =
        ::setxattr(page.c_str(), "user.origin", "kept", 4, 0) == 0;
    if (c.hardLink) fs::create_hard_link(page, dir / "other.htm");
    std::string named = "page.htm";
    if (c.symlink) {
      fs::create_symlink("page.htm", dir / "link.htm");
      named = "link.htm";
    }
    struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, page.c_str(), old, 0), 0);
    const struct stat before = statOf(page);
    runTool(dir.path(), {"-w", named});
    const struct stat after = statOf(page);
    const std::string backup = dir / (c.symlink ? "link.bak" : "page.bak");
    const struct stat saved = statOf(backup);
    EXPECT_EQ(readFile(page), withCrLf(kUntidy)) << c.what;
    EXPECT_EQ(readFile(backup), kUntidy) << c.what;
    EXPECT_EQ(after.st_ino != before.st_ino, c.replaced) << c.what;
    EXPECT_EQ(after.st_mode, before.st_mode) << c.what;
    EXPECT_EQ(after.st_uid, before.st_uid) << c.what;
    EXPECT_EQ(after.st_gid, before.st_gid) << c.what;
    EXPECT_EQ(after.st_nlink, before.st_nlink) << c.what;
    if (tagged) {
      EXPECT_EQ(attribute(page, "user.origin"), "kept") << c.what;
    }
    if (c.replaced) {
      // The backup is the old file itself, with its times, under one name.
      EXPECT_EQ(saved.st_ino, before.st_ino) << c.what;
      EXPECT_EQ(saved.st_mtim.tv_sec, 1000000000) << c.what;
      EXPECT_EQ(saved.st_nlink, 1u) << c.what;
    }
    if (c.hardLink) {
      EXPECT_EQ(readFile(dir / "other.htm"), withCrLf(kUntidy)) << c.what;
    }
    EXPECT_TRUE(temporaryLeftovers(dir.path().string()).empty()) << c.what;
  }
}

// 20 MB of short lines that the rewrite makes CR LF.
std::string largePage() {
  std::string page;
  page.reserve(20 << 20);
  while (page.size() < (20u << 20)) page += "<p>line of the page</p>\n";
  return page;
}

TEST(Road, AReaderNeverSeesAHalfWrittenPage) {
  const std::string old = largePage();
  const std::string updated = withCrLf(old);
  int reads = 0;
  int torn = 0;
  for (int round = 0; round < 3; ++round) {
    ScratchDir dir;
    const std::string page = dir / "page.htm";
    writeFile(page, old);
    std::atomic<bool> done{false};
    std::thread reader([&] {
      while (!done.load()) {
        const std::string seen = readFile(page);
        ++reads;
        if (seen != old && seen != updated) ++torn;
      }
    });
    runTool(dir.path(), {"-w", "page.htm"});
    done.store(true);
    reader.join();
    EXPECT_EQ(readFile(page), updated);
  }
  EXPECT_GT(reads, 3);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}

// A page in an overlay's lower layer is copied up when first opened for
// writing, under a new identity with the same bytes: that is no change.
TEST(Road, APageCopiedUpFromALowerLayerIsRewritten) {
  std::string large;
  for (int i = 0; i < 200000; ++i) large += "a\n";
  for (const std::string& old : {std::string(kUntidy), large}) {
    const bool mapped = old.size() > 1000;
    ScratchDir dir;
    for (const char* part : {"lower", "upper", "work", "merged"}) {
      fs::create_directory(dir / part);
    }
    writeFile(dir / "lower/page.htm", old);
    fs::last_write_time(
        dir / "lower/page.htm",
        fs::file_time_type::clock::now() - std::chrono::hours(1));
    MountPoint mounts;
    std::string why;
    if (!mounts.overlay(dir / "lower", dir / "upper", dir / "work",
                        dir / "merged", why)) {
      GTEST_SKIP() << why;
    }
    const std::string output = runTool(dir / "merged", {"-w", "page.htm"});
    EXPECT_EQ(output, "page.htm\n   writing page.bak\n   writing page.htm\n")
        << (mapped ? "large" : "small");
    EXPECT_TRUE(readFile(dir / "merged/page.bak") == old);
    EXPECT_TRUE(readFile(dir / "merged/page.htm") == withCrLf(old));
    EXPECT_TRUE(readFile(dir / "lower/page.htm") == old);
  }
}

}  // namespace
}  // namespace tagfmt::testing
