// What a write strips from a file and the job gives back: setuid and setgid
// when the file's owner runs tagfmt, the file capability when root does, on
// the replace road and in place.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

// A version-2 file capability: cap_net_raw, permitted and effective.
const unsigned char kCapability[20] = {0x01, 0, 0, 0x02, 0x00, 0x20};

std::string capabilityOf(const std::string& path) {
  char value[64];
  const ssize_t size =
      getxattr(path.c_str(), "security.capability", value, sizeof value);
  return size < 0 ? "" : std::string(value, static_cast<std::size_t>(size));
}

TEST(Privileges, KeptOnBothRoads) {
  const TestUser user;
  if (!user.made()) GTEST_SKIP() << user.why();
  const struct {
    const char* what;
    unsigned mode;
    bool byOwner;  // run as the file's owner, else as root
    bool secondName;
    bool capability;
  } cases[] = {
      {"setuid, by its owner, replaced", 04755, true, false, false},
      {"setuid, by its owner, in place", 04755, true, true, false},
      {"setgid, by its owner, replaced", 02775, true, false, false},
      {"setgid, by its owner, in place", 02775, true, true, false},
      {"capability, by root, replaced", 0755, false, false, true},
      {"capability, by root, in place", 0755, false, true, true},
  };
  const std::string wanted(reinterpret_cast<const char*>(kCapability),
                           sizeof kCapability);
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string page = dir / "page.htm";
    writeFile(page, "a\n");
    ASSERT_EQ(chown(dir.path().c_str(), user.uid(), user.gid()), 0);
    ASSERT_EQ(chown(page.c_str(), user.uid(), user.gid()), 0);
    ASSERT_EQ(chmod(page.c_str(), c.mode), 0);
    if (c.secondName) fs::create_hard_link(page, dir / "other");
    if (c.capability && setxattr(page.c_str(), "security.capability",
                                 kCapability, sizeof kCapability, 0) != 0) {
      GTEST_SKIP() << "this file system keeps no file capabilities";
    }
    if (c.byOwner) {
      ASSERT_TRUE(user.run("cd '" + dir.path().string() + "' && '" +
                           TAGFMT_BINARY + "' -w page.htm >/dev/null"))
          << c.what;
    } else {
      runTool(dir.path(), {"-w", "page.htm"});
    }
    struct stat st {};
    ASSERT_EQ(stat(page.c_str(), &st), 0);
    EXPECT_EQ(readFile(page), "a\r\n") << c.what;
    EXPECT_EQ(st.st_mode & 07777, c.mode) << c.what;
    if (c.capability) {
      EXPECT_EQ(capabilityOf(page), wanted) << c.what;
    }
  }
}

}  // namespace
}  // namespace tagfmt::testing
