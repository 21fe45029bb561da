// The built tool run in a scratch folder: its messages, the files it leaves
// and their backups.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

const char kPage[] = "<table>\n<tr><td>a</td></tr>\n</table>\n";
const char kPageTidy[] =
    "<table>\r\n  <tr>\r\n    <td>a</td>\r\n  </tr></table>";
const char kPageMarked[] =
    "<table><!--@1@-->\r\n  <tr><!--@2@-->\r\n    "
    "<td><!--@3@-->a</td><!--@3@-->"
    "\r\n  </tr><!--@2@--></table><!--@1@-->";

TEST(EndToEnd, NoArgumentsSaysNothing) {
  ScratchDir dir;
  EXPECT_EQ(runTool(dir.path(), {}), "");
}

TEST(EndToEnd, RewritesAChangedFileAfterBackingItUp) {
  ScratchDir dir;
  writeFile(dir / "page.htm", kPage);
  EXPECT_EQ(runTool(dir.path(), {"page.htm"}),
            "page.htm\n   writing page.bak\n   writing page.htm\n");
  EXPECT_EQ(readFile(dir / "page.htm"), kPageTidy);
  EXPECT_EQ(readFile(dir / "page.bak"), kPage);
  // A second run finds nothing to do and writes nothing.
  fs::remove(dir / "page.bak");
  EXPECT_EQ(runTool(dir.path(), {"page.htm"}), "");
  EXPECT_FALSE(exists(dir / "page.bak"));
}

TEST(EndToEnd, OptionWordsApplyToTheNamesAfterThem) {
  ScratchDir dir;
  for (const char* name : {"a.htm", "b.htm", "c.htm"}) {
    writeFile(dir / name, kPage);
  }
  runTool(dir.path(), {"a.htm", "+", "b.htm", "-", "c.htm", "-w"});
  EXPECT_EQ(readFile(dir / "a.htm"), kPageTidy);
  // Numbers run on from the three tags of a.htm.
  EXPECT_EQ(readFile(dir / "b.htm"),
            "<table><!--@4@-->\r\n  <tr><!--@5@-->\r\n    <td><!--@6@-->a</td>"
            "<!--@6@-->\r\n  </tr><!--@5@--></table><!--@4@-->");
  EXPECT_EQ(readFile(dir / "c.htm"), kPageTidy);
}

TEST(EndToEnd, MarkerModeAndBackToPlain) {
  ScratchDir dir;
  writeFile(dir / "p.htm", kPage);
  runTool(dir.path(), {"+", "p.htm"});
  EXPECT_EQ(readFile(dir / "p.htm"), kPageMarked);
  EXPECT_EQ(runTool(dir.path(), {"+", "p.htm"}), "");  // already marked
  runTool(dir.path(), {"p.htm"});
  EXPECT_EQ(readFile(dir / "p.htm"), kPageTidy);
}

TEST(EndToEnd, LineEndsOnlyRoad) {
  ScratchDir dir;
  const char faulty[] = "<table>\n  <tr><!--@9@-->\n";
  writeFile(dir / "f.htm", faulty);
  writeFile(dir / "cr.htm", "a\rb\r");
  EXPECT_EQ(runTool(dir.path(), {"-w", "f.htm", "+", "cr.htm"}),
            "f.htm\n   writing f.bak\n   writing f.htm\n"
            "cr.htm\n   writing cr.bak\n   writing cr.htm\n");
  EXPECT_EQ(readFile(dir / "f.htm"), "<table>\r\n  <tr><!--@9@-->\r\n");
  EXPECT_EQ(readFile(dir / "f.bak"), faulty);
  EXPECT_EQ(readFile(dir / "cr.htm"), "a\r\nb\r\n");
}

TEST(EndToEnd, NestingFaultLeavesTheFileAlone) {
  ScratchDir dir;
  const char faulty[] = "<table>\n<tr>\n<td></tr>\n</table>\n</form>\n";
  writeFile(dir / "t.htm", faulty);
  EXPECT_EQ(
      runTool(dir.path(), {"t.htm"}),
      "t.htm\n"
      "-> Nesting Error Line 3: </tr> instead of </td> ( <td> on line 3)\n"
      "-> Nesting Error Line 4: </table> instead of </tr> ( <tr> on line 2)\n"
      "-> Nesting Error Line 5: </form> instead of </table> ( <table> on line "
      "1)\n");
  EXPECT_EQ(readFile(dir / "t.htm"), faulty);
  EXPECT_FALSE(exists(dir / "t.bak"));
}

TEST(EndToEnd, NamesThatCannotBeOpened) {
  ScratchDir dir;
  fs::create_directory(dir / "folder.htm");
  ASSERT_EQ(mkfifo((dir / "pipe.htm").c_str(), 0600), 0);
  const std::string longName(10000, 'n');
  EXPECT_EQ(runTool(dir.path(), {"-W", "--", "+x", "-x", "", "folder.htm",
                                 "pipe.htm", longName}),
            "-> cannot open\n-> cannot open\n-> cannot open\n-> cannot open\n"
            "-> cannot open\n-> cannot open\n-> cannot open\n-> cannot open\n");
}

TEST(EndToEnd, NulByteLeavesTheFileUntouchedOnBothRoads) {
  ScratchDir dir;
  const std::string bytes("<table>\n\0</table>\n", 18);
  writeFile(dir / "n.htm", bytes);
  EXPECT_EQ(runTool(dir.path(), {"n.htm", "-w", "n.htm"}),
            "n.htm\n-> contains a NUL byte, not changed\n"
            "n.htm\n-> contains a NUL byte, not changed\n");
  EXPECT_EQ(readFile(dir / "n.htm"), bytes);
  EXPECT_FALSE(exists(dir / "n.bak"));
}

TEST(EndToEnd, LoneCrInsideATagBecomesALineBreak) {
  ScratchDir dir;
  writeFile(dir / "c.htm", "<p\rclass=x>y</p>\r");
  runTool(dir.path(), {"c.htm"});
  EXPECT_EQ(readFile(dir / "c.htm"), "<p\r\nclass=x>y</p>");
}

TEST(EndToEnd, BackupNames) {
  ScratchDir dir;
  fs::create_directory(dir / "dir.old");
  const struct {
    const char* file;
    const char* backup;
  } cases[] = {
      {"a.b.xsl", "a.b.bak"},
      {"dir.old/page", "dir.old/page.bak"},
      {"noext", "noext.bak"},
      {"x.bak", "x.bak.bak"},
  };
  for (const auto& c : cases) {
    writeFile(dir / c.file, "a\n");
    EXPECT_EQ(runTool(dir.path(), {"-w", c.file}),
              std::string(c.file) + "\n   writing " + c.backup +
                  "\n   writing " + c.file + "\n");
    EXPECT_EQ(readFile(dir / c.backup), "a\n") << c.file;
    EXPECT_EQ(readFile(dir / c.file), "a\r\n") << c.file;
  }
  writeFile(dir / "page", "b\n");
  runTool(dir.path(), {"-w", "./page"});
  EXPECT_EQ(readFile(dir / "page.bak"), "b\n");
}

TEST(EndToEnd, PagesOfOneNameShareABackup) {
  ScratchDir dir;
  writeFile(dir / "page.htm", "htm\n");
  writeFile(dir / "page.xsl", "xsl\n");
  runTool(dir.path(), {"-w", "page.htm", "page.xsl"});
  EXPECT_EQ(readFile(dir / "page.bak"), "xsl\n");
}

TEST(EndToEnd, BackupNeverReplacesTheFileItself) {
  ScratchDir dir;
  writeFile(dir / "real.htm", "a\n");
  fs::create_symlink("real.htm", dir / "real.bak");  // backup name is the file
  EXPECT_EQ(runTool(dir.path(), {"-w", "real.htm"}),
            "real.htm\n   writing real.htm.bak\n   writing real.htm\n");
  EXPECT_EQ(readFile(dir / "real.htm"), "a\r\n");
  EXPECT_EQ(readFile(dir / "real.htm.bak"), "a\n");
}

TEST(EndToEnd, BackupReplacesALinkInsteadOfWritingThroughIt) {
  ScratchDir dir;
  writeFile(dir / "victim", "keep me");
  fs::create_symlink("victim", dir / "page.bak");
  writeFile(dir / "page.htm", "a\n");
  runTool(dir.path(), {"-w", "page.htm"});
  EXPECT_EQ(readFile(dir / "victim"), "keep me");
  EXPECT_FALSE(fs::is_symlink(dir / "page.bak"));
  EXPECT_EQ(readFile(dir / "page.bak"), "a\n");
}

TEST(EndToEnd, RewriteKeepsLinksAndPermissions) {
  ScratchDir dir;
  writeFile(dir / "target.htm", "a\n");
  fs::permissions(dir / "target.htm", fs::perms(0640));
  fs::create_symlink("target.htm", dir / "link.htm");
  fs::create_hard_link(dir / "target.htm", dir / "hard.htm");
  runTool(dir.path(), {"-w", "link.htm"});
  EXPECT_TRUE(fs::is_symlink(dir / "link.htm"));
  EXPECT_EQ(readFile(dir / "hard.htm"), "a\r\n");
  EXPECT_EQ(fs::status(dir / "target.htm").permissions(), fs::perms(0640));
  EXPECT_EQ(fs::status(dir / "link.bak").permissions(), fs::perms(0640));
}

TEST(EndToEnd, BackupThatCannotBeWritten) {
  ScratchDir dir;
  writeFile(dir / "page.htm", "a\n");
  fs::create_directory(dir / "page.bak");
  EXPECT_EQ(runTool(dir.path(), {"-w", "page.htm", "page.htm"}),
            "page.htm\n-> failed\npage.htm\n-> failed\n");
  EXPECT_EQ(readFile(dir / "page.htm"), "a\n");
}

TEST(EndToEnd, SameFileTwiceSeesTheFirstResult) {
  ScratchDir dir;
  writeFile(dir / "p.htm", kPage);
  EXPECT_EQ(runTool(dir.path(), {"p.htm", "p.htm"}),
            "p.htm\n   writing p.bak\n   writing p.htm\n");
}

TEST(EndToEnd, EmptyFileIsLeftAlone) {
  ScratchDir dir;
  writeFile(dir / "e.htm", "");
  EXPECT_EQ(runTool(dir.path(), {"e.htm", "-w", "e.htm"}), "");
  EXPECT_FALSE(exists(dir / "e.bak"));
}

}  // namespace
}  // namespace tagfmt::testing
