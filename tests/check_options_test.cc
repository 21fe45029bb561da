// tagfmt-check's newer options as their users run them: --fix, standard
// input by name, reasons, empty folders, --exclude, the output formats,
// -q, --color, escaped names and diff headers for paths outside the folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "report/json.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

ProgramRun check(const fs::path& dir, const std::vector<std::string>& words,
                 std::string_view input = {}) {
  return runProgram(TAGFMT_CHECK_BINARY, dir, words, input);
}

const char kTidy[] = "<table>\r\n  <tr>\r\n  </tr></table>";
const char kMessy[] = "<table>\n<tr>\n</tr></table>";
const char kBad[] = "<table>\n<td/>\n</table>\n";
const char kBadLines[] =
    "3:1: nesting error: </table> instead of </td> (<td> on line 2)\n"
    "2:1: note: <td> on line 2 is written self-closed (\"/>\"), and a "
    "recognised tag counts as opened even then\n"
    "1:1: nesting error: missing </table>\n";

// kBadLines for the file `name`.
std::string badLines(const std::string& name) {
  std::string lines;
  for (const std::string& line : splitLines(kBadLines)) {
    if (!line.empty()) lines += name + ":" + line + "\n";
  }
  return lines;
}

void makeSite(const ScratchDir& dir) {
  writeFile(dir / "tidy.htm", kTidy);
  writeFile(dir / "messy.html", kMessy);
  writeFile(dir / "bad.xsl", kBad);
  fs::create_directories(dir / "vendor");
  writeFile(dir / "vendor/v.htm", kMessy);
  writeFile(dir / "lib.min.html", kMessy);
  fs::create_directories(dir / "empty");
  writeFile(dir / "empty/notes.txt", kMessy);
}

TEST(CheckOptions, OutputAndExitStatus) {
  ScratchDir dir;
  makeSite(dir);
  const std::string bad = badLines("bad.xsl");
  const std::string named = badLines("pages/in.xsl");
  const struct {
    std::vector<std::string> words;
    std::string input;
    std::string out;
    std::string err;
    int status;
  } cases[] = {
      {{"empty"},
       "",
       "empty: no .htm, .html, .xsl or .xslt files\n",
       "0 files would be tidied, 1 refused, 0 tidy\n",
       2},
      {{"-q", "--exclude", "vendor", "--exclude=*.min.html", "."},
       "",
       bad + "messy.html: would be tidied\n",
       "",
       2},
      {{"-q", "--exclude", "*.html", "--exclude", "bad.xsl", "vendor",
        "lib.min.html"},
       "",
       "vendor/v.htm: would be tidied\nlib.min.html: would be tidied\n",
       "",
       1},
      {{"--stdin-filename", "pages/in.xsl", "-"},
       kBad,
       named,
       "0 files would be tidied, 1 refused, 0 tidy\n",
       2},
      {{"--stdout", "--stdin-filename", "pages/in.xsl", "-"},
       kBad,
       "",
       named,
       2},
      {{"--stdout", "-"}, kMessy, kTidy, "", 0},
      {{"--stdout", "-"}, kTidy, kTidy, "", 0},
      // Excluded by its name, standard input passes as it came.
      {{"--stdout", "--exclude", "vendor", "--stdin-filename", "vendor/x.htm",
        "-"},
       kMessy,
       kMessy,
       "",
       0},
      {{"-q", "--stdin-filename", "vendor/x.htm", "--exclude", "vendor", "-"},
       kMessy,
       "",
       "",
       0},
      {{"-q", "--format", "github", "bad.xsl", "messy.html"},
       "",
       "::error file=bad.xsl,line=3,col=1::nesting error: </table> instead of "
       "</td> "
       "(<td> on line 2)\n"
       "::notice file=bad.xsl,line=2,col=1::<td> on line 2 is written "
       "self-closed "
       "(\"/>\"), and a recognised tag counts as opened even then\n"
       "::error file=bad.xsl,line=1,col=1::nesting error: missing </table>\n"
       "::error file=messy.html::would be tidied\n",
       "",
       2},
      {{"-q", "--color=always", "messy.html"},
       "",
       "messy.html: \033[33mwould be tidied\033[0m\n",
       "",
       1},
      {{"-q", "--color=never", "messy.html"},
       "",
       "messy.html: would be tidied\n",
       "",
       1},
      {{"-q", "missing.htm", "empty/notes.txt/x.htm"},
       "",
       "missing.htm: cannot open: No such file or directory\n"
       "empty/notes.txt/x.htm: cannot open: Not a directory\n",
       "",
       2},
  };
  for (const auto& c : cases) {
    const ProgramRun run = check(dir.path(), c.words, c.input);
    const std::string name = c.words[0] + " " + c.words.back();
    EXPECT_EQ(run.out, c.out) << name;
    EXPECT_EQ(run.err, c.err) << name;
    EXPECT_EQ(run.status, c.status) << name;
  }
}

TEST(CheckOptions, StandardInputStopsAtItsFirstNul) {
  ScratchDir dir;
  // /dev/zero never ends: the run must stop at its first byte.
  const ProgramRun run = runProgram(
      "/bin/sh", dir.path(),
      {"-c", std::string(TAGFMT_CHECK_BINARY) + " --stdout - </dev/zero"});
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "-: contains a NUL byte, not checked\n");
  EXPECT_EQ(run.status, 2);
}

TEST(CheckOptions, NamesAndDiffHeaders) {
  ScratchDir dir;
  fs::create_directories(dir / "in");
  writeFile(dir / "in/a\nb.htm", kMessy);
  writeFile(dir / "up.htm", kMessy);
  const ProgramRun listed = check(dir.path() / "in", {"-q", "."});
  EXPECT_EQ(listed.out, "$'a\\nb.htm': would be tidied\n");
  const ProgramRun json = check(dir.path() / "in", {"--format", "json", "."});
  EXPECT_EQ(Json::parse(json.out)["files"][0]["path"], "a\nb.htm");
  const std::string absolute = dir / "up.htm";
  for (const std::string& path : {std::string("../up.htm"), absolute}) {
    const ProgramRun diff = check(dir.path() / "in", {"--diff", path});
    EXPECT_TRUE(diff.out.starts_with("--- " + path + "\n+++ " + path + "\n"))
        << diff.out;
  }
}

TEST(CheckOptions, FixRewritesInPlaceAsTagfmtDoes) {
  ScratchDir fixed;
  ScratchDir tidied;
  makeSite(fixed);
  makeSite(tidied);
  const ProgramRun run =
      check(fixed.path(), {"--fix", "--exclude", "vendor", "."});
  EXPECT_EQ(run.out, badLines("bad.xsl") + "lib.min.html: tidied\n" +
                         "messy.html: tidied\n");
  EXPECT_EQ(run.err, "2 files tidied, 1 refused, 1 tidy\n");
  EXPECT_EQ(run.status, 2);
  runTool(tidied.path(), {"messy.html", "lib.min.html", "bad.xsl"});
  for (const char* name : {"messy.html", "lib.min.html", "bad.xsl"}) {
    EXPECT_EQ(readFile(fixed / name), readFile(tidied / name)) << name;
  }
  EXPECT_FALSE(exists(fixed / "messy.bak"));
  EXPECT_FALSE(exists(fixed / "lib.min.bak"));
  EXPECT_EQ(readFile(fixed / "vendor/v.htm"), kMessy);

  // Tidy at the end: 0. With --backup the old bytes stay, as tagfmt keeps
  // them.
  const ProgramRun again =
      check(fixed.path(), {"--fix", "--backup", "-q", "messy.html", "vendor"});
  EXPECT_EQ(again.out, "vendor/v.htm: tidied\n");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(readFile(fixed / "vendor/v.bak"), kMessy);
  EXPECT_FALSE(exists(fixed / "messy.bak"));
  // A file named like an option is a file after "--".
  writeFile(fixed / "-j.htm", kMessy);
  const ProgramRun dash = check(fixed.path(), {"--fix", "-q", "--", "-j.htm"});
  EXPECT_EQ(dash.out, "-j.htm: tidied\n");
  EXPECT_EQ(readFile(fixed / "-j.htm"), readFile(tidied / "messy.html"));
}

}  // namespace
}  // namespace tagfmt::testing
