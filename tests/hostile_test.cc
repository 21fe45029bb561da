// Hostile input that must finish promptly with bounded memory: deep nesting,
// constructs that never close, every byte value, long and empty names, many
// arguments. The heavy cases (huge files) live in scripts/hostile.sh.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kTimeLimit = 120;  // seconds; only a hang comes near it
constexpr int kDepth = 200000;

std::string repeat(std::string_view unit, std::size_t times) {
  std::string out;
  out.reserve(unit.size() * times);
  for (std::size_t i = 0; i < times; ++i) out.append(unit);
  return out;
}

std::string everyByte(bool withNul) {
  std::string unit;
  for (int b = withNul ? 0 : 1; b < 256; ++b) unit += static_cast<char>(b);
  return repeat(unit, 4096);
}

// Runs the tool on one file with `mode` and next.htm after it.
ToolRun runOn(const ScratchDir& dir, const std::string& mode,
              const std::string& name) {
  writeFile(dir / "next.htm", "x\n");
  std::vector<std::string> arguments;
  if (!mode.empty()) arguments.push_back(mode);
  arguments.push_back(name);
  arguments.push_back("next.htm");
  ToolRun run = runToolWithin(dir.path(), arguments, kTimeLimit);
  EXPECT_FALSE(run.timedOut) << name;
  EXPECT_TRUE(run.exitedWithZero) << name;
  const std::string next =
      "next.htm\n   writing next.bak\n   writing next.htm\n";
  EXPECT_TRUE(run.output.ends_with(next)) << name;
  run.output.resize(run.output.size() -
                    std::min(next.size(), run.output.size()));
  return run;
}

TEST(Hostile, FilesThatMustBeLeftAsTheyAre) {
  const std::string noClose = repeat("<table>", kDepth);
  const struct {
    const char* what;
    std::string bytes;
    std::string mode;
    std::string output;
  } cases[] = {
      {"200,000 nested tags never closed", noClose, "",
       "f.htm\n" + repeat("-> Nesting Error: missing </table> ( <table> on "
                          "line 1)\n",
                          kDepth)},
      {"200,000 nested tags, closed, one to a line",
       repeat("<table>\n", kDepth) + repeat("</table>\n", kDepth), "",
       "-> no memory\n"},
      {"nothing but \"<\"", repeat("<", 1 << 20), "", ""},
      {"nothing but double quotes", repeat("\"", 1 << 20), "", ""},
      {"nothing but single quotes", repeat("'", 1 << 20), "", ""},
      {"a tag of quotes never closed", "<p" + repeat("\"'", 1 << 19), "", ""},
      {"every byte value", everyByte(true), "",
       "f.htm\n-> contains a NUL byte, not changed\n"},
      {"every byte value, line ends only", everyByte(true), "-w",
       "f.htm\n-> contains a NUL byte, not changed\n"},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    writeFile(dir / "f.htm", c.bytes);
    const ToolRun run = runOn(dir, c.mode, "f.htm");
    EXPECT_TRUE(run.output == c.output)
        << c.what << ": said " << run.output.size() << " bytes, starting "
        << run.output.substr(0, 200);
    EXPECT_TRUE(readFile(dir / "f.htm") == c.bytes) << c.what;
    EXPECT_FALSE(exists(dir / "f.bak")) << c.what;
  }
}

TEST(Hostile, EveryByteButNulIsRewrittenWithItsBackup) {
  for (const std::string mode : {"", "-w"}) {
    ScratchDir dir;
    const std::string bytes = everyByte(false);
    writeFile(dir / "f.htm", bytes);
    const ToolRun run = runOn(dir, mode, "f.htm");
    EXPECT_EQ(run.output, "f.htm\n   writing f.bak\n   writing f.htm\n")
        << mode;
    EXPECT_TRUE(readFile(dir / "f.bak") == bytes) << mode;
  }
}

// Removes a folder tree too deep for std::filesystem to remove.
struct DeepTree {
  std::string top;
  ~DeepTree() {
    if (!top.empty()) std::system(("rm -rf '" + top + "'").c_str());
  }
};

TEST(Hostile, LongAndEmptyNames) {
  ScratchDir dir;
  DeepTree tree{dir / std::string(199, 'd')};
  // A real file whose name is 10,000 bytes long through its folders, made
  // one folder at a time as the whole name is too long for the system.
  std::string longPath;
  int folder = open(dir.path().c_str(), O_RDONLY | O_DIRECTORY);
  while (longPath.size() < 10000 - 250) {
    const std::string part(199, 'd');
    ASSERT_EQ(mkdirat(folder, part.c_str(), 0700), 0);
    const int inner = openat(folder, part.c_str(), O_RDONLY | O_DIRECTORY);
    close(folder);
    folder = inner;
    longPath += part + "/";
  }
  const std::string last(10000 - longPath.size() - 4, 'p');
  const int file =
      openat(folder, (last + ".htm").c_str(), O_WRONLY | O_CREAT, 0600);
  ASSERT_GE(file, 0);
  ASSERT_EQ(write(file, "a\n", 2), 2);
  close(file);
  close(folder);
  longPath += last + ".htm";
  ASSERT_EQ(longPath.size(), 10000u);
  // A final component whose backup name would be too long for the folder.
  const std::string wide(255, 'w');
  writeFile(dir / wide, "a\n");
  const ToolRun run = runOn(dir, "-w", "");
  EXPECT_EQ(run.output, "-> cannot open\n");
  const ToolRun longRun = runOn(dir, "-w", longPath);
  EXPECT_EQ(longRun.output, "-> cannot open\n");
  const ToolRun wideRun = runOn(dir, "-w", wide);
  EXPECT_EQ(wideRun.output, wide + "\n-> failed\n");
  EXPECT_EQ(readFile(dir / wide), "a\n");
  EXPECT_TRUE(temporaryLeftovers(dir.path().string()).empty());
}

TEST(Hostile, OneHundredThousandArguments) {
  ScratchDir dir;
  writeFile(dir / "p.htm", "a\n");
  std::vector<std::string> arguments{"-w"};
  for (int i = 0; i < 50000; ++i) {
    arguments.push_back("p.htm");
    arguments.push_back(i % 2 == 0 ? "+" : "missing");
  }
  const ToolRun run = runToolWithin(dir.path(), arguments, kTimeLimit);
  EXPECT_TRUE(run.exitedWithZero && !run.timedOut);
  EXPECT_TRUE(run.output == "p.htm\n   writing p.bak\n   writing p.htm\n" +
                                repeat("-> cannot open\n", 25000))
      << run.output.substr(0, 200);
  EXPECT_EQ(readFile(dir / "p.htm"), "a\r\n");
}

}  // namespace
}  // namespace tagfmt::testing
