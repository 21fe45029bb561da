// tagfmt-check as its users run it: modes, exit status, usage errors, the
// folder walk, -j, and --diff and --stdout against tagfmt's own bytes.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

ProgramRun check(const fs::path& dir, const std::vector<std::string>& words,
                 std::string_view input = {}) {
  return runProgram(TAGFMT_CHECK_BINARY, dir, words, input);
}

// A folder with a tidy page, an untidy one, a refused one and some that the
// walk must pass over.
void makeSite(const ScratchDir& dir) {
  writeFile(dir / "tidy.htm", "<table>\r\n  <tr>\r\n  </tr></table>");
  writeFile(dir / "messy.html", "<table>\n<tr>\n</tr>\n</table>");
  fs::create_directories(dir / "sub");
  fs::create_directories(dir / ".hidden");
  writeFile(dir / "sub/BAD.XSL", "<table>\n<td/>\n</table>\n");
  writeFile(dir / "sub/notes.txt", "<table>\n");
  writeFile(dir / ".hidden/x.htm", "<table>\n");
  writeFile(dir / "nul.xslt", std::string("<a>\0", 4));
}

const char kUsage[] =
    "usage: tagfmt-check [-l | --diff | --stdout | --fix] [OPTIONS] "
    "PATH...\n"
    "Try 'tagfmt-check --help' for more.\n";

const char kBadLines[] =
    "sub/BAD.XSL:3:1: nesting error: </table> instead of </td> (<td> on line "
    "2)\n"
    "sub/BAD.XSL:2:1: note: <td> on line 2 is written self-closed (\"/>\"), "
    "and "
    "a recognised tag counts as opened even then\n"
    "sub/BAD.XSL:1:1: nesting error: missing </table>\n";

TEST(CheckEndToEnd, ModesAndExitStatus) {
  ScratchDir dir;
  makeSite(dir);
  const std::string bad = kBadLines;
  const struct {
    std::vector<std::string> words;
    std::string out;
    std::string err;
    int status;
  } cases[] = {
      {{"tidy.htm"}, "", "0 files would be tidied, 0 refused, 1 tidy\n", 0},
      {{"tidy.htm", "messy.html"},
       "messy.html: would be tidied\n",
       "1 file would be tidied, 0 refused, 1 tidy\n",
       1},
      {{"."},
       "messy.html: would be tidied\n"
       "nul.xslt: contains a NUL byte, not checked\n" +
           bad,
       "1 file would be tidied, 2 refused, 1 tidy\n",
       2},
      {{"-l", "-j", "3", "."},
       "messy.html\n",
       "nul.xslt: contains a NUL byte, not checked\n" + bad +
           "1 file would be tidied, 2 refused, 1 tidy\n",
       2},
      {{"--line-ends-only", "sub", "tidy.htm"},
       "sub/BAD.XSL: would be tidied\n",
       "1 file would be tidied, 0 refused, 1 tidy\n",
       1},
      {{"missing.htm", "sub/notes.txt"},
       "missing.htm: cannot open: No such file or directory\nsub/notes.txt: "
       "not a page (.htm, .html, .xsl or .xslt), not checked\n",
       "0 files would be tidied, 2 refused, 0 tidy\n",
       2},
      {{"--stdout", "tidy.htm"}, "<table>\r\n  <tr>\r\n  </tr></table>", "", 0},
      {{"--stdout", "messy.html"},
       "<table>\r\n  <tr>\r\n  </tr></table>",
       "",
       0},
      {{"--stdout", "sub/BAD.XSL"}, "", bad, 2},
      {{"--version"}, "tagfmt-check 1.0.0\n", "", 0},
  };
  for (const auto& c : cases) {
    const ProgramRun run = check(dir.path(), c.words);
    EXPECT_EQ(run.out, c.out) << c.words[0];
    EXPECT_EQ(run.err, c.err) << c.words[0];
    EXPECT_EQ(run.status, c.status) << c.words[0];
  }
}

TEST(CheckEndToEnd, UsageErrors) {
  ScratchDir dir;
  makeSite(dir);
  const struct {
    std::vector<std::string> words;
    const char* error;
  } cases[] = {
      {{"-x", "tidy.htm"}, "unknown option '-x'"},
      {{"--stdout", "tidy.htm", "messy.html"}, "--stdout takes one file or -"},
      {{"--stdout", "sub"}, "--stdout takes one file or -"},
      {{"-l", "--diff", "tidy.htm"},
       "choose one of -l, --diff, --stdout and --fix"},
      {{"--fix", "-"},
       "--fix rewrites files, not standard input: use --stdout"},
      {{"--backup", "."}, "--backup goes with --fix"},
      {{"-l", "--format", "json", "."},
       "--format json and github go with check mode or --fix"},
      {{"--format=xml", "."},
       "--format takes plain, json or github, not 'xml'"},
      {{"--color=sometimes", "."},
       "--color takes auto, always or never, not 'sometimes'"},
      {{"--stdin-filename", "a.htm", "."},
       "--stdin-filename names standard input: give - as the PATH"},
      {{"--exclude"}, "--exclude needs a value"},
      {{}, "no PATH given"},
      {{"-j", "0", "."}, "-j takes a number from 1 to 1024, not '0'"},
      {{"-jx", "."}, "-j takes a number from 1 to 1024, not 'x'"},
      {{"-j"}, "-j needs a number"},
      {{"-z", "."}, "-z goes with -l"},
  };
  for (const auto& c : cases) {
    const ProgramRun run = check(dir.path(), c.words);
    EXPECT_EQ(run.out, "") << c.error;
    EXPECT_EQ(run.err, "tagfmt-check: " + std::string(c.error) + "\n" + kUsage);
    EXPECT_EQ(run.status, 2) << c.error;
  }
  const ProgramRun help = check(dir.path(), {"--help"});
  EXPECT_TRUE(help.out.starts_with("usage: tagfmt-check [OPTIONS] PATH...\n"));
  EXPECT_EQ(help.status, 0);
  // After "--" a word that begins with "-" is a file.
  EXPECT_EQ(check(dir.path(), {"--", "-x"}).out,
            "-x: cannot open: No such file or directory\n");
}

// Pages of every kind, each with LF, CR LF and lone-CR line ends.
std::vector<std::string> makePages(const ScratchDir& dir) {
  const char* const texts[] = {
      "<table>\n<tr><td>a</td>\n<td>b</td></tr>\n</table>\n",
      "<xsl:template match=\"/\">\n<xsl:if test=\"x\">\n<p>y</p>\n</xsl:if>\n"
      "</xsl:template>",
      "<table><!--@7@-->\n<tr><!--@8@-->\n</tr><!--@8@-->\n</table>\n",
      "<!DOCTYPE html>\n<html>\n<table>\n<td>x</td>\n</table>\n</html>\n",
      "<table>\n<td/>\n</table>\n",
      "plain text\nwith no tags\n",
      "<form>\n<select>\n<a href=x>y</a>\n</select>\n</form>",
  };
  std::vector<std::string> names;
  for (const char* text : texts) {
    for (const std::string& variant :
         {std::string(text), withCrLf(text), withCr(text)}) {
      char name[32];
      std::snprintf(name, sizeof name, "p%zu.htm", names.size() + 10);
      names.push_back(name);
      writeFile(dir / names.back(), variant);
    }
  }
  return names;
}

TEST(CheckEndToEnd, SameOutputWhateverTheJobs) {
  ScratchDir dir;
  makePages(dir);
  for (const std::vector<std::string>& mode : {std::vector<std::string>{},
                                               {"-l"},
                                               {"--diff"},
                                               {"--markers"},
                                               {"--markers", "--diff"}}) {
    std::vector<std::string> words = mode;
    words.insert(words.end(), {"-j", "1", "."});
    const ProgramRun one = check(dir.path(), words);
    for (const char* jobs : {"2", "5", "64"}) {
      words[words.size() - 2] = jobs;
      const ProgramRun many = check(dir.path(), words);
      EXPECT_TRUE(many.out == one.out) << "-j " << jobs;
      EXPECT_EQ(many.err, one.err) << "-j " << jobs;
      EXPECT_EQ(many.status, one.status);
    }
  }
}

// --diff applied by git and by patch, and --stdout, give tagfmt's bytes, in
// the default mode, with markers numbered across files, and line ends only.
// Files named by absolute paths below the folder get a diff that git apply
// takes there.
TEST(CheckEndToEnd, DiffOfAbsolutePathsAppliesWithGit) {
  ScratchDir tidied;
  ScratchDir applied;
  const std::vector<std::string> names = makePages(tidied);
  makePages(applied);
  std::vector<std::string> words = {"--diff"};
  for (const std::string& name : names) words.push_back(applied / name);
  const ProgramRun diff = check(applied.path(), words);
  runTool(tidied.path(), names);
  const ProgramRun git = runProgram("/usr/bin/env", applied.path(),
                                    {"git", "apply", "-"}, diff.out);
  if (git.status == 127) GTEST_SKIP() << "needs git (apt-get install git)";
  EXPECT_EQ(git.status, 0) << git.err;
  for (const std::string& name : names) {
    EXPECT_TRUE(readFile(applied / name) == readFile(tidied / name)) << name;
  }
}

TEST(CheckEndToEnd, DiffAndStdoutGiveTagfmtsBytes) {
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{}, {"--markers"}, {"--line-ends-only"}}) {
    ScratchDir tidied;
    ScratchDir applied;
    ScratchDir patched;
    const std::vector<std::string> names = makePages(tidied);
    makePages(applied);
    makePages(patched);
    std::vector<std::string> words = options;
    words.push_back("--diff");
    words.insert(words.end(), names.begin(), names.end());
    const ProgramRun diff = check(applied.path(), words);
    std::vector<std::string> tagfmtWords;
    if (options == std::vector<std::string>{"--markers"}) tagfmtWords = {"+"};
    if (options == std::vector<std::string>{"--line-ends-only"}) {
      tagfmtWords = {"-w"};
    }
    tagfmtWords.insert(tagfmtWords.end(), names.begin(), names.end());
    runTool(tidied.path(), tagfmtWords);
    const ProgramRun git = runProgram("/usr/bin/env", applied.path(),
                                      {"git", "apply", "-"}, diff.out);
    const ProgramRun patch =
        runProgram("/usr/bin/env", patched.path(),
                   {"patch", "-p1", "--binary", "--quiet"}, diff.out);
    if (git.status == 127 || patch.status == 127) {
      GTEST_SKIP() << "needs git and patch (apt-get install git patch)";
    }
    EXPECT_EQ(git.status, 0) << git.err;
    EXPECT_EQ(patch.status, 0) << patch.err;
    for (const std::string& name : names) {
      const std::string expected = readFile(tidied / name);
      EXPECT_TRUE(readFile(applied / name) == expected) << "git " << name;
      EXPECT_TRUE(readFile(patched / name) == expected) << "patch " << name;
    }
    // One file alone: its markers would start from 1, not as in the run.
    if (tagfmtWords.size() > names.size() && tagfmtWords[0] == "+") continue;
    ScratchDir originals;
    makePages(originals);
    for (const std::string& name : names) {
      std::vector<std::string> one = options;
      one.insert(one.end(), {"--stdout", name});
      const ProgramRun byName = check(originals.path(), one);
      one.back() = "-";
      const ProgramRun piped =
          check(originals.path(), one, readFile(originals / name));
      const bool refused = byName.status == 2;
      const std::string expected = refused ? "" : readFile(tidied / name);
      EXPECT_TRUE(byName.out == expected) << name;
      EXPECT_TRUE(piped.out == expected) << name;
      EXPECT_EQ(piped.status, byName.status) << name;
      EXPECT_EQ(refused, exists(tidied / name) && !byName.err.empty()) << name;
    }
  }
}

TEST(CheckEndToEnd, OnlyPagesAreTouched) {
  ScratchDir dir;
  const std::string script = "#!/bin/sh\n<table>\n<tr>\necho a\n";
  writeFile(dir / "run.sh", script);
  const std::string refused =
      "run.sh: not a page (.htm, .html, .xsl or .xslt), not checked\n";
  const std::string none = "0 files would be tidied, 1 refused, 0 tidy\n";
  const struct {
    std::vector<std::string> words;
    std::string input;
    std::string out;
    std::string err;
  } cases[] = {
      {{"run.sh"}, "", refused, none},
      {{"-l", "run.sh"}, "", "", refused + none},
      {{"--diff", "run.sh"}, "", "", refused + none},
      {{"--stdout", "run.sh"}, "", "", refused},
      {{"--fix", "run.sh"}, "", refused, "0 files tidied, 1 refused, 0 tidy\n"},
      {{"--fix", "--backup", "run.sh"},
       "",
       refused,
       "0 files tidied, 1 refused, 0 tidy\n"},
      {{"--format", "json", "run.sh"},
       "",
       R"({"version":1,"files":[{"path":"run.sh","state":"not-a-page",)"
       R"("message":"not a page","reason":"not a page (.htm, .html, .xsl )"
       R"(or .xslt), not checked","faults":[],"notes":[]}],)"
       R"("summary":{"changed":0,"refused":1,"tidy":0}})"
       "\n",
       ""},
      {{"--stdout", "--stdin-filename", "run.sh", "-"}, script, "", refused},
  };
  for (const auto& c : cases) {
    const ProgramRun run = check(dir.path(), c.words, c.input);
    EXPECT_EQ(run.out, c.out) << c.words[0];
    EXPECT_EQ(run.err, c.err) << c.words[0];
    EXPECT_EQ(run.status, 2) << c.words[0];
    EXPECT_EQ(readFile(dir / "run.sh"), script) << c.words[0];
    EXPECT_FALSE(exists(dir / "run.bak")) << c.words[0];
  }
  // Standard input named as a page is checked as before.
  const ProgramRun page =
      check(dir.path(), {"--stdout", "--stdin-filename", "a.htm", "-"},
            "<table>\n<tr>\n</tr></table>");
  EXPECT_EQ(page.out, "<table>\r\n  <tr>\r\n  </tr></table>");
  EXPECT_EQ(page.status, 0);
}

// -l -z feeds xargs -0 any name, one that holds a line break too.
TEST(CheckEndToEnd, ListEndedByNulFeedsXargs) {
  ScratchDir dir;
  const std::string messy = "<table>\n<tr>\n</tr></table>";
  writeFile(dir / "a\nb.htm", messy);
  writeFile(dir / "c.htm", messy);
  writeFile(dir / "tidy.htm", "<table>\r\n  <tr>\r\n  </tr></table>");
  const ProgramRun list = check(dir.path(), {"-l", "-z", "-q", "."});
  EXPECT_EQ(list.out, std::string("a\nb.htm\0c.htm\0", 14));
  EXPECT_EQ(list.status, 1);
  const ProgramRun xargs = runProgram("/usr/bin/env", dir.path(),
                                      {"xargs", "-0", TAGFMT_BINARY}, list.out);
  if (xargs.status == 127)
    GTEST_SKIP() << "needs xargs (apt-get install findutils)";
  EXPECT_EQ(xargs.status, 0) << xargs.err;
  EXPECT_EQ(check(dir.path(), {"-l", "-z", "-q", "."}).out, "");
  EXPECT_EQ(readFile(dir / "c.bak"), messy);
}

}  // namespace
}  // namespace tagfmt::testing
