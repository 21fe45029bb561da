// The file job against real limits and real users: a file-size limit ends
// one job, not the run; a backup gives no one access that its file did not
// give, in a folder with a default ACL; names that hold control bytes are
// printed escaped.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

// 256 KiB that grow by half when their line ends become CR LF.
std::string bigPage() {
  std::string page;
  for (int i = 0; i < 128 * 1024; ++i) page += "x\n";
  return page;
}

bool have(const char* tool) {
  const std::string probe =
      std::string("command -v ") + tool + " >/dev/null 2>&1";
  return std::system(probe.c_str()) == 0;
}

// Runs the tool with the words after `-w` under bash's file-size limit of
// `kib` KiB; returns what it printed, or "(killed)" when a signal ended it.
std::string runLimited(const ScratchDir& dir, unsigned kib,
                       const std::string& words) {
  const std::string out = dir / "out.txt";
  const std::string command = "cd '" + dir.path().string() +
                              "' && bash -c 'ulimit -f " + std::to_string(kib) +
                              " && exec \"$0\" -w " + words + "' '" +
                              TAGFMT_BINARY + "' > '" + out + "' 2>/dev/null";
  const int status = std::system(command.c_str());
  if (status != 0) return "(killed)";
  return readFile(out);
}

TEST(FileSizeLimit, EndsOneJobNotTheRun) {
  if (!have("bash")) GTEST_SKIP() << "bash is missing";
  const struct {
    const char* what;
    unsigned kib;  // the limit
    bool linked;   // a second link keeps the page on the in-place road
    const char* said;
    bool pageRewritten;
  } cases[] = {
      // The new text does not fit: undone, said, and the next file done.
      {"limit below the new text, in place", 320, true,
       "page.htm\n   writing page.bak\n   writing page.htm\n-> failed\n"
       "next.htm\n   writing next.bak\n   writing next.htm\n",
       false},
      // The new file never took the name, nor its backup the backup's.
      {"limit below the new text, replaced", 320, false,
       "page.htm\n   writing page.bak\n-> failed\n"
       "next.htm\n   writing next.bak\n   writing next.htm\n",
       false},
      // Not even the backup fits: the file is never touched.
      {"limit below the backup", 128, true,
       "page.htm\n   writing page.bak\n-> failed\n"
       "next.htm\n   writing next.bak\n   writing next.htm\n",
       false},
      {"room for both", 1024, false,
       "page.htm\n   writing page.bak\n   writing page.htm\n"
       "next.htm\n   writing next.bak\n   writing next.htm\n",
       true},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    writeFile(dir / "page.htm", bigPage());
    writeFile(dir / "next.htm", "x\n");
    if (c.linked) fs::create_hard_link(dir / "page.htm", dir / "page.link");
    EXPECT_EQ(runLimited(dir, c.kib, "page.htm next.htm"), c.said) << c.what;
    const std::string page = readFile(dir / "page.htm");
    EXPECT_EQ(page == withCrLf(bigPage()), c.pageRewritten) << c.what;
    EXPECT_TRUE(page == bigPage() || page == withCrLf(bigPage())) << c.what;
    EXPECT_EQ(readFile(dir / "next.htm"), "x\r\n") << c.what;
    EXPECT_TRUE(temporaryLeftovers(dir.path().string()).empty()) << c.what;
  }
}

TEST(DefaultAcl, BackupGivesNoOneMoreThanTheFile) {
  TestUser user;
  if (!user.made()) GTEST_SKIP() << user.why();
  if (!have("setfacl") || !have("getfacl")) {
    GTEST_SKIP() << "setfacl or getfacl is missing (Debian package acl)";
  }
  ScratchDir dir;
  fs::permissions(dir.path(), fs::perms(0755));
  const std::string folder = dir / "shared";
  fs::create_directory(folder);
  fs::permissions(folder, fs::perms(0755));
  const std::string uid = std::to_string(user.uid());
  const std::string grant =
      "setfacl -d -m u:" + uid + ":r '" + folder + "' 2>/dev/null";
  if (std::system(grant.c_str()) != 0) {
    GTEST_SKIP() << "the file system here takes no ACLs";
  }
  // Two pages: one the user may not read (its inherited entry dropped), one
  // whose ACL grants the user reading, which the backup keeps.
  const struct {
    const char* name;
    const char* prepare;  // run on the page after it is written
    bool userMayRead;
  } cases[] = {
      {"secret.htm", "setfacl -b '%s' && chmod 0640 '%s'", false},
      {"open.htm",
       "chmod 0640 '%s' && setfacl -m u:"
       "USER"
       ":r '%s'",
       true},
  };
  for (const auto& c : cases) {
    const std::string page = folder + "/" + c.name;
    writeFile(page, "<table>\n<tr><td>x</td></tr>\n</table>\n");
    std::string prepare = c.prepare;
    for (std::size_t at; (at = prepare.find("%s")) != std::string::npos;) {
      prepare.replace(at, 2, page);
    }
    if (const std::size_t at = prepare.find("USER"); at != std::string::npos) {
      prepare.replace(at, 4, uid);
    }
    ASSERT_EQ(std::system(prepare.c_str()), 0) << prepare;
    ASSERT_EQ(user.run("cat '" + page + "' >/dev/null 2>&1"), c.userMayRead)
        << c.name;
    runTool(folder, {c.name});
    const std::string backup =
        folder + "/" + fs::path(c.name).stem().string() + ".bak";
    ASSERT_TRUE(exists(backup)) << c.name;
    EXPECT_EQ(user.run("cat '" + backup + "' >/dev/null 2>&1"), c.userMayRead)
        << c.name << ": the backup";
    EXPECT_EQ(user.run("cat '" + page + "' >/dev/null 2>&1"), c.userMayRead)
        << c.name << ": the rewritten file";
    const std::string acls = dir / "acls";
    const std::string compare = "getfacl -cp '" + page + "' > '" + acls +
                                ".1' && getfacl -cp '" + backup + "' > '" +
                                acls + ".2' && cmp -s '" + acls + ".1' '" +
                                acls + ".2'";
    EXPECT_EQ(std::system(compare.c_str()), 0) << c.name << ": ACLs differ";
  }
}

TEST(ControlBytes, NamesArePrintedEscaped) {
  const struct {
    const char* name;
    const char* said;
  } cases[] = {
      {"evil\n   writing evil.bak\n.htm",
       "$'evil\\n   writing evil.bak\\n.htm'\n"
       "   writing $'evil\\n   writing evil.bak\\n.bak'\n"
       "   writing $'evil\\n   writing evil.bak\\n.htm'\n"},
      {"\x1b]0;owned\x07\x1b[2J.htm",
       "$'\\x1b]0;owned\\x07\\x1b[2J.htm'\n"
       "   writing $'\\x1b]0;owned\\x07\\x1b[2J.bak'\n"
       "   writing $'\\x1b]0;owned\\x07\\x1b[2J.htm'\n"},
      {"tab\there.htm",
       "$'tab\\there.htm'\n   writing $'tab\\there.bak'\n"
       "   writing $'tab\\there.htm'\n"},
      {"it's plain.htm",
       "it's plain.htm\n   writing it's plain.bak\n"
       "   writing it's plain.htm\n"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    writeFile(dir / c.name, "x\n");
    EXPECT_EQ(runTool(dir.path(), {"-w", c.name}), c.said);
    EXPECT_EQ(readFile(dir / c.name), "x\r\n");
  }
}

// Refused at the first NUL byte, whatever follows: a hole of 2 GB, or text.
TEST(NulByte, RefusedWithoutReadingTheRest) {
  const struct {
    const char* what;
    std::string head;
    std::uintmax_t holeAfter;  // the file's size once the hole is added
  } cases[] = {
      {"a sparse file", "", std::uintmax_t{2} << 30},
      {"a NUL after text", std::string("<p>\n\0<p>\n", 9), 0},
      {"a NUL after a large text", std::string(300000, 'x') + '\0', 1 << 20},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string page = dir / "page.htm";
    writeFile(page, c.head);
    if (c.holeAfter > 0) fs::resize_file(page, c.holeAfter);
    const std::uintmax_t size = fs::file_size(page);
    EXPECT_EQ(runTool(dir.path(), {"page.htm"}),
              "page.htm\n-> contains a NUL byte, not changed\n")
        << c.what;
    EXPECT_EQ(fs::file_size(page), size) << c.what;
    EXPECT_FALSE(exists(dir / "page.bak")) << c.what;
  }
}

}  // namespace
}  // namespace tagfmt::testing
