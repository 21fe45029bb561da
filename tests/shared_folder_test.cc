// Root runs the tool in a folder another user may write to, and that user
// plays an attacker: a link planted at the file's name, a set-group-ID
// folder, a folder of the path swapped for a link while the job runs. Each
// case ends with nothing written outside the named file's folder and
// nothing readable that was not readable before. Also: a backup made by
// root keeps the file's owner.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

const char kWritten[] = "   writing ";

struct stat statOf(const std::string& path) {
  struct stat st {};
  EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
  return st;
}

// A folder the test user may write to, inside a scratch folder only root
// may write to; and a root file elsewhere that must stay as it is.
struct SharedScene {
  ScratchDir dir;
  std::string shared = dir / "shared";
  std::string secret = dir / "secret.htm";
  const std::string secretBytes = "root:x:0:0\n";

  explicit SharedScene(const TestUser& user, mode_t mode = 02775) {
    fs::create_directory(shared);
    EXPECT_EQ(chown(shared.c_str(), 0, user.gid()), 0);
    EXPECT_EQ(chmod(shared.c_str(), mode), 0);
    EXPECT_EQ(chmod(dir.path().c_str(), 0755), 0);
    writeFile(secret, secretBytes);
    EXPECT_EQ(chmod(secret.c_str(), 0600), 0);
  }
};

TEST(SharedFolder, LinkAtTheFilesName) {
  TestUser user;
  if (!user.made()) GTEST_SKIP() << user.why();
  enum class Link { kAttackersToRoots, kAttackersToTheirOwn, kRootsOwn };
  const struct {
    const char* what;
    Link link;
    bool followed;
  } cases[] = {
      {"the other user's link to a root file", Link::kAttackersToRoots, false},
      {"the other user's link to their own file", Link::kAttackersToTheirOwn,
       true},
      {"root's own link to a root file", Link::kRootsOwn, true},
  };
  for (const auto& c : cases) {
    SharedScene scene(user);
    std::string target = scene.secret;
    if (c.link == Link::kAttackersToTheirOwn) {
      target = scene.shared + "/own.txt";
      ASSERT_TRUE(user.run("printf 'a\\n' > '" + target + "'"));
    }
    if (c.link == Link::kRootsOwn) {
      fs::create_symlink(target, scene.shared + "/page.htm");
    } else {
      ASSERT_TRUE(
          user.run("ln -s '" + target + "' '" + scene.shared + "/page.htm'"))
          << c.what;
    }
    const std::string before = readFile(target);
    const ToolRun run = runToolWithin(scene.shared, {"-w", "./page.htm"}, 60);
    if (!c.followed) {
      EXPECT_EQ(run.output, "-> cannot open\n") << c.what;
      EXPECT_EQ(readFile(target), before) << c.what;
      EXPECT_EQ(namesIn(scene.shared), std::vector<std::string>{"page.htm"})
          << c.what;
      continue;
    }
    EXPECT_EQ(run.output, std::string("./page.htm\n") + kWritten +
                              "./page.bak\n" + kWritten + "./page.htm\n")
        << c.what;
    EXPECT_EQ(readFile(target), withCrLf(before)) << c.what;
    EXPECT_EQ(fs::symlink_status(scene.shared + "/page.htm").type(),
              fs::file_type::symlink)
        << c.what;
    // The backup has the owner, group and permissions of the file.
    const struct stat file = statOf(target);
    const struct stat backup = statOf(scene.shared + "/page.bak");
    EXPECT_EQ(backup.st_uid, file.st_uid) << c.what;
    EXPECT_EQ(backup.st_gid, file.st_gid) << c.what;
    EXPECT_EQ(backup.st_mode & 07777, file.st_mode & 07777) << c.what;
  }
}

TEST(SharedFolder, BackupsInASetGroupIdFolderKeepTheFilesOwnerAndGroup) {
  TestUser user;
  if (!user.made()) GTEST_SKIP() << user.why();
  const struct {
    const char* what;
    unsigned owner;
    unsigned group;
    mode_t mode;
  } cases[] = {
      {"root's private file", 0, 0, 0600},
      {"root's file its group may read", 0, 0, 0640},
      {"the other user's private file", user.uid(), user.gid(), 0600},
  };
  for (const auto& c : cases) {
    SharedScene scene(user);
    const std::string page = scene.shared + "/page.htm";
    writeFile(page, "a\n");
    ASSERT_EQ(chown(page.c_str(), c.owner, c.group), 0);
    ASSERT_EQ(chmod(page.c_str(), c.mode), 0);
    const ToolRun run = runToolWithin(scene.shared, {"-w", "./page.htm"}, 60);
    EXPECT_EQ(run.output, std::string("./page.htm\n") + kWritten +
                              "./page.bak\n" + kWritten + "./page.htm\n")
        << c.what;
    const struct stat backup = statOf(scene.shared + "/page.bak");
    EXPECT_EQ(backup.st_uid, c.owner) << c.what;
    EXPECT_EQ(backup.st_gid, c.group) << c.what;
    EXPECT_EQ(backup.st_mode & 07777, c.mode) << c.what;
    const bool userMayRead = c.owner == user.uid();
    EXPECT_EQ(user.run("cat '" + scene.shared + "/page.bak' >/dev/null 2>&1"),
              userMayRead)
        << c.what;
  }
}

TEST(SharedFolder, FolderSwappedForALinkWhileTheJobRuns) {
  TestUser user;
  if (!user.made()) GTEST_SKIP() << user.why();
  for (const char* step : {"read", "rewrite"}) {
    SharedScene scene(user, 0777);
    // The other user's page in a folder of theirs; root's folder elsewhere
    // holds a backup and a page of the same names.
    const std::string site = scene.shared + "/site";
    const std::string roots = scene.dir / "roots";
    fs::create_directory(roots);
    writeFile(roots + "/keep.bak", "root's backup\n");
    writeFile(roots + "/keep.htm", "root's page\n");
    ASSERT_TRUE(user.run("mkdir '" + site + "' && printf 'a\\n' > '" + site +
                         "/keep.htm' && chmod 666 '" + site + "/keep.htm'"));
    PausedTool tool =
        startPausedTool(scene.shared, {"-w", "./site/keep.htm"}, step);
    ASSERT_TRUE(tool.paused) << step;
    ASSERT_TRUE(user.run("mv '" + site + "' '" + site + ".old' && ln -s '" +
                         roots + "' '" + site + "'"))
        << step;
    const ToolRun run = resumeTool(tool);
    EXPECT_EQ(run.output, std::string("./site/keep.htm\n") + kWritten +
                              "./site/keep.bak\n" + kWritten +
                              "./site/keep.htm\n")
        << step;
    EXPECT_EQ(readFile(roots + "/keep.bak"), "root's backup\n") << step;
    EXPECT_EQ(readFile(roots + "/keep.htm"), "root's page\n") << step;
    EXPECT_EQ(namesIn(roots),
              (std::vector<std::string>{"keep.bak", "keep.htm"}))
        << step;
    // The job stayed in the folder it started in.
    EXPECT_EQ(readFile(site + ".old/keep.htm"), "a\r\n") << step;
    EXPECT_EQ(readFile(site + ".old/keep.bak"), "a\n") << step;
  }
}

}  // namespace
}  // namespace tagfmt::testing
