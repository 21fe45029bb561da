// Every front end with a pass broken on purpose (the test builds' seam):
// none writes or offers the broken text, each says why, and the page keeps
// its bytes.
#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace tagfmt {
namespace {

using testing::BrokenPass;
using testing::exists;
using testing::readFile;
using testing::runProgram;
using testing::ScratchDir;
using testing::writeFile;

const char kPage[] = "<table>\n<tr><td>x</td></tr>\n</table>\n";
const char kSaid[] =
    "internal error: tidying would change the page's content, not changed";

TEST(Net, TagfmtLeavesThePageAsItWas) {
  const BrokenPass broken;
  const ScratchDir dir;
  writeFile(dir / "p.htm", kPage);
  writeFile(dir / "q.htm", kPage);
  for (const char* words : {"", "+", "-w"}) {
    std::vector<std::string> arguments = {"p.htm", "q.htm"};
    if (*words != '\0') arguments.insert(arguments.begin(), words);
    const testing::ProgramRun run =
        runProgram(TAGFMT_SEAMS_BINARY, dir.path(), arguments);
    EXPECT_EQ(run.out,
              "p.htm\n-> " + std::string(kSaid) + "\nq.htm\n-> " + kSaid + "\n")
        << words;
    EXPECT_EQ(run.status, 0);
  }
  EXPECT_EQ(readFile(dir / "p.htm"), kPage);
  EXPECT_FALSE(exists(dir / "p.bak"));
}

TEST(Net, CheckRefusesInEveryMode) {
  const BrokenPass broken;
  const ScratchDir dir;
  writeFile(dir / "p.htm", kPage);
  const std::vector<std::vector<std::string>> modes = {
      {"p.htm"},
      {"-l", "p.htm"},
      {"--diff", "p.htm"},
      {"--stdout", "p.htm"},
      {"--format", "json", "p.htm"},
      {"--format", "github", "p.htm"},
      {"--fix", "p.htm"},
      {"--fix", "--backup", "p.htm"},
      {"--fix", "--markers", "p.htm"},
      {"--stdout", "-"},
  };
  for (const std::vector<std::string>& mode : modes) {
    const testing::ProgramRun run =
        runProgram(TAGFMT_CHECK_SEAMS_BINARY, dir.path(), mode, kPage);
    EXPECT_EQ(run.status, 2) << mode.front();
    EXPECT_NE((run.out + run.err).find(kSaid), std::string::npos)
        << mode.front() << ": " << run.out << run.err;
    EXPECT_EQ(run.out.find("<tr>"), std::string::npos) << mode.front();
    EXPECT_EQ(readFile(dir / "p.htm"), kPage) << mode.front();
  }
  EXPECT_FALSE(exists(dir / "p.bak"));
}

}  // namespace
}  // namespace tagfmt
