// tagfmt-check with .tagfmt.toml as a project uses it: found from nested
// folders, stopped at the work tree's root, --config and --no-config, each
// key, --force-exclude, gitignore's exclude forms, and config errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

const char kMessy[] = "<table>\n<tr>\n</tr></table>";

// outer/ holds a config that would leave out every .htm; tree/ is a work
// tree (its .git stops the lookup) with configs of its own.
void makeProject(const ScratchDir& dir) {
  for (const char* folder : {"tree/.git", "tree/vendor", "tree/site/gen",
                             "tree/lib/site/gen", "tree/sub/vendor", "loose"}) {
    fs::create_directories(dir / folder);
  }
  writeFile(dir / ".tagfmt.toml", "exclude = [\"*.htm\"]\n");
  writeFile(dir / "tree/.tagfmt.toml",
            "exclude = [\"vendor/\", \"./site/gen\"]\nextensions = "
            "[\"tmpl\"]\n");
  writeFile(dir / "tree/sub/.tagfmt.toml", "markers = true\n");
  // Not reached by a walk, so it cannot bring vendor/ back.
  writeFile(dir / "tree/vendor/.tagfmt.toml", "markers = true\n");
  writeFile(dir / "tree/other.toml", "line-ends-only = true\n");
  for (const char* page :
       {"tree/page.htm", "tree/t.tmpl", "tree/vendor/v.htm",
        "tree/site/gen/g.htm", "tree/lib/site/gen/g.htm", "tree/sub/p.htm",
        "tree/sub/vendor/v.htm", "loose/l.htm", "loose/n.tmpl"}) {
    writeFile(dir / page, kMessy);
  }
}

TEST(CheckConfig, LookupKeysAndOptions) {
  ScratchDir dir;
  makeProject(dir);
  const std::string all =
      "lib/site/gen/g.htm\npage.htm\nsub/p.htm\nsub/vendor/v.htm\nt.tmpl\n";
  const struct {
    const char* in;  // the folder it runs in, below the scratch folder
    std::vector<std::string> words;
    std::string out;
    int status;
  } cases[] = {
      // tree's config: vendor/ and ./site/gen left out, .tmpl walked; sub's
      // own config wins there, so sub/vendor is checked.
      {"tree", {"-l", "-q", "."}, all, 1},
      {"tree/sub", {"-l", "-q", "."}, "p.htm\nvendor/v.htm\n", 1},
      {"tree",
       {"-l", "-q", "--no-config", "."},
       "lib/site/gen/g.htm\npage.htm\nsite/gen/g.htm\nsub/p.htm\n"
       "sub/vendor/v.htm\nvendor/v.htm\n",
       1},
      // Named files are checked unless --force-exclude is given.
      {"tree",
       {"-l", "-q", "vendor/v.htm", "./site/gen/g.htm", "t.tmpl"},
       "vendor/v.htm\n./site/gen/g.htm\nt.tmpl\n",
       1},
      {"tree",
       {"-l", "-q", "--force-exclude", "vendor/v.htm", "./site/gen/g.htm",
        "vendor", "vendor/", "page.htm"},
       "page.htm\n",
       1},
      {"tree", {"-q", "--force-exclude", "vendor/v.htm"}, "", 0},
      // A folder named is walked though its config excludes it, but for
      // what is excluded below it.
      {"tree", {"-l", "-q", "vendor"}, "vendor/v.htm\n", 1},
      {"tree",
       {"-q", "site"},
       "site: no .htm, .html, .xsl or .xslt files\n",
       2},
      {"tree", {"-l", "-q", "--force-exclude", "vendor"}, "", 0},
      // --config: that file for all, relative to its own folder.
      {"tree",
       {"-q", "--config", "../.tagfmt.toml", ".", "../loose"},
       ".: no .htm, .html, .xsl or .xslt files\n"
       "../loose: no .htm, .html, .xsl or .xslt files\n",
       2},
      // The outer config applies outside the work tree only.
      {"loose", {"-q", "."}, ".: no .htm, .html, .xsl or .xslt files\n", 2},
      {"loose",
       {"-q", "n.tmpl"},
       "n.tmpl: not a page (.htm, .html, .xsl or "
       ".xslt), not checked\n",
       2},
      {"tree",
       {"-l", "-q", "--no-config", "--exclude", "vendor/", "--exclude",
        "./site", "--exclude", "/sub", "."},
       "lib/site/gen/g.htm\npage.htm\n",
       1},
      {"tree",
       {"-l", "-q", "--no-config", "--force-exclude", "--exclude", "./site",
        "site/gen/g.htm", "lib/site/gen/g.htm"},
       "lib/site/gen/g.htm\n",
       1},
  };
  for (const auto& c : cases) {
    const ProgramRun run = runProgram(TAGFMT_CHECK_BINARY, dir / c.in, c.words);
    const std::string said = c.in + std::string(" ") + c.words.back();
    EXPECT_EQ(run.out, c.out) << said;
    EXPECT_EQ(run.status, c.status) << said << "\n" << run.err;
  }
  EXPECT_EQ(readFile(dir / "tree/vendor/v.htm"), kMessy);
}

// markers and line-ends-only, from the nearest config or --config, and
// the command line's flags over them.
TEST(CheckConfig, SettingsReachTheTidiedBytes) {
  ScratchDir dir;
  makeProject(dir);
  const std::string tidied = "<table>\r\n  <tr>\r\n  </tr></table>";
  const std::string marked =
      "<table><!--@1@-->\r\n  <tr><!--@2@-->\r\n  </tr><!--@2@--></table>"
      "<!--@1@-->";
  const std::string ends = "<table>\r\n<tr>\r\n</tr></table>";
  const struct {
    std::vector<std::string> words;
    std::string out;
  } cases[] = {
      {{"--stdout", "page.htm"}, tidied},
      {{"--stdout", "sub/p.htm"}, marked},
      {{"--stdout", "--no-config", "sub/p.htm"}, tidied},
      {{"--stdout", "--markers", "page.htm"}, marked},
      {{"--stdout", "--config", "other.toml", "sub/p.htm"}, ends},
      {{"--stdout", "--stdin-filename", "sub/x.htm", "-"}, marked},
  };
  for (const auto& c : cases) {
    const ProgramRun run =
        runProgram(TAGFMT_CHECK_BINARY, dir / "tree", c.words, kMessy);
    EXPECT_EQ(run.out, c.out) << c.words[1] << " " << c.words.back();
    EXPECT_EQ(run.status, 0) << run.err;
  }
}

TEST(CheckConfig, ErrorsNameTheFileAndLine) {
  ScratchDir dir;
  makeProject(dir);
  fs::create_directories(dir / "tree/bad");
  writeFile(dir / "tree/bad/.tagfmt.toml", "markers = true\n\nindent = 2\n");
  writeFile(dir / "tree/worse.toml", "exclude = [\"a\", 3]\n");
  writeFile(dir / "tree/bad/p.htm", kMessy);
  const struct {
    std::vector<std::string> words;
    std::string err;
  } cases[] = {
      {{"."},
       "bad/.tagfmt.toml:3: unknown key \"indent\" (known: exclude, "
       "extensions, markers, line-ends-only)\n"},
      {{"bad/p.htm"},
       "bad/.tagfmt.toml:3: unknown key \"indent\" (known: exclude, "
       "extensions, markers, line-ends-only)\n"},
      {{"--config", "worse.toml", "page.htm"},
       "worse.toml:1: exclude takes an array of strings, not one holding an "
       "integer\n"},
      {{"--config", "none.toml", "page.htm"},
       "none.toml: cannot read: No such file or directory\n"},
      {{"--config", "bad", "page.htm"},
       "bad: cannot read: not a regular file\n"},
  };
  for (const auto& c : cases) {
    const ProgramRun run =
        runProgram(TAGFMT_CHECK_BINARY, dir / "tree", c.words);
    EXPECT_EQ(run.err, c.err) << c.words[0];
    EXPECT_EQ(run.out, "") << c.words[0];
    EXPECT_EQ(run.status, 2) << c.words[0];
  }
  EXPECT_EQ(readFile(dir / "tree/bad/p.htm"), kMessy);
  const ProgramRun both = runProgram(TAGFMT_CHECK_BINARY, dir / "tree",
                                     {"--config", "x", "--no-config", "."});
  EXPECT_TRUE(both.err.starts_with(
      "tagfmt-check: give --config or --no-config once\nusage:"))
      << both.err;
  EXPECT_EQ(both.status, 2);
  const ProgramRun never = runProgram(TAGFMT_CHECK_BINARY, dir / "tree",
                                      {"-q", "--exclude", "a//b", "t.tmpl"});
  EXPECT_EQ(never.err,
            "tagfmt-check: warning: --exclude 'a//b' can never match: it "
            "holds \"//\"\n");
  EXPECT_EQ(never.status, 1);
}

}  // namespace
}  // namespace tagfmt::testing
