// Backups made durable a batch at a time: a run over many names must say and
// leave exactly what one run per name, one after the other, says and leaves,
// also where one name's job changes what a later one sees. A failed sync
// fails the whole batch with every file untouched.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

const char kUntidy[] = "<table>\n<tr><td>x</td></tr>\n</table>\n";
const char kBroken[] = "<table>\n<tr>\n</table>\n";

// "p7.htm" and the like, built without a chain of "+" that GCC 12 warns on.
std::string numbered(int i, const char* extension) {
  std::string name = "p";
  name += std::to_string(i);
  name += extension;
  return name;
}

// Every file below `folder` with its bytes, and every link with its target.
std::map<std::string, std::string> contentsOf(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string name = fs::relative(entry.path(), folder).string();
    if (entry.is_symlink()) {
      contents[name] = "-> " + fs::read_symlink(entry.path()).string();
    } else if (entry.is_regular_file()) {
      contents[name] = readFile(entry.path().string());
    }
  }
  return contents;
}

struct Scene {
  const char* what;
  std::vector<std::pair<std::string, std::string>> files;      // name, bytes
  std::vector<std::pair<std::string, std::string>> hardLinks;  // name, of
  std::vector<std::pair<std::string, std::string>> symlinks;   // name, to
  std::vector<std::string> arguments;
};

void build(const Scene& scene, const ScratchDir& dir) {
  for (const auto& [name, bytes] : scene.files) writeFile(dir / name, bytes);
  for (const auto& [name, of] : scene.hardLinks) {
    fs::create_hard_link(dir / of, dir / name);
  }
  for (const auto& [name, to] : scene.symlinks) {
    fs::create_symlink(to, dir / name);
  }
}

// One run per name, each given the option words before it.
std::string runOneByOne(const ScratchDir& dir,
                        const std::vector<std::string>& arguments) {
  std::string output;
  std::vector<std::string> options;
  for (const std::string& word : arguments) {
    if (word == "-w") {
      options.push_back(word);
      continue;
    }
    std::vector<std::string> one = options;
    one.push_back(word);
    output += runTool(dir.path(), one);
  }
  return output;
}

std::vector<Scene> scenes() {
  std::vector<Scene> all = {
      {"the same file twice",
       {{"page.htm", kUntidy}},
       {},
       {},
       {"page.htm", "page.htm", "./page.htm"}},
      {"the same file under a hard link",
       {{"page.htm", kUntidy}},
       {{"hard.htm", "page.htm"}},
       {},
       {"page.htm", "hard.htm"}},
      {"the same file through a link",
       {{"page.htm", kUntidy}},
       {},
       {{"link.htm", "page.htm"}},
       {"page.htm", "link.htm"}},
      {"two files sharing a backup",
       {{"page.htm", kUntidy}, {"page.xsl", "a\n"}, {"page.bak", "old"}},
       {},
       {},
       {"-w", "page.htm", "page.xsl"}},
      {"a file that is an earlier file's backup",
       {{"page.htm", kUntidy}, {"page.bak", "old\n"}},
       {},
       {},
       {"page.htm", "page.bak"}},
      {"a file that becomes an earlier file's backup",
       {{"page.htm", kUntidy}},
       {},
       {},
       {"page.htm", "page.bak"}},
      {"a hard link of an earlier file's backup",
       {{"page.htm", kUntidy}, {"page.bak", "old\n"}},
       {{"other.htm", "page.bak"}},
       {},
       {"-w", "page.htm", "other.htm"}},
      {"a file whose backup is an earlier file",
       {{"page.bak", "b\n"}, {"page.htm", "a\n"}},
       {},
       {},
       {"-w", "page.bak", "page.htm"}},
  };
  Scene many{"150 files of every kind", {}, {}, {}, {}};
  for (int i = 0; i < 150; ++i) {
    const std::string name = numbered(i, ".htm");
    const char* bytes = i % 7 == 3   ? kBroken
                        : i % 5 == 1 ? "<p>tidy</p>"
                                     : kUntidy;
    if (i % 11 != 10) many.files.emplace_back(name, bytes);
    many.arguments.push_back(name);
    if (i == 100) many.arguments.push_back("-w");
  }
  all.push_back(many);
  return all;
}

TEST(Batch, SaysAndLeavesWhatOneRunPerNameDoes) {
  for (const Scene& scene : scenes()) {
    ScratchDir together;
    ScratchDir oneByOne;
    build(scene, together);
    build(scene, oneByOne);
    const std::string expected = runOneByOne(oneByOne, scene.arguments);
    EXPECT_EQ(runTool(together.path(), scene.arguments), expected)
        << scene.what;
    EXPECT_EQ(contentsOf(together.path()), contentsOf(oneByOne.path()))
        << scene.what;
  }
}

// Runs the tool under strace with `options` in `folder`, its output in
// `output`; false when strace cannot run it.
bool runTraced(const std::string& folder, const std::string& options,
               const std::vector<std::string>& names, std::string& output) {
  std::string command = "cd '" + folder +
                        "' && ASAN_OPTIONS=detect_leaks=0 strace -f -qq " +
                        options + " '" + TAGFMT_BINARY + "'";
  for (const std::string& name : names) command += " '" + name + "'";
  command += " > tool.out 2>/dev/null";
  const int status = std::system(command.c_str());
  output = readFile(folder + "/tool.out");
  fs::remove(folder + "/tool.out");
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The messages of a file pN.htm whose backup is written, then `after`.
std::string messagesFor(int i, const char* after) {
  std::string said = numbered(i, ".htm");
  said += "\n   writing ";
  said += numbered(i, ".bak");
  said += "\n";
  said += after;
  return said;
}

TEST(Batch, OneSyncForManyBackups) {
  ScratchDir dir;
  std::vector<std::string> names;
  std::string expected;
  for (int i = 0; i < 100; ++i) {
    names.push_back(numbered(i, ".htm"));
    writeFile(dir / names.back(), kUntidy);
    expected += messagesFor(i, "   writing ");
    expected += names.back();
    expected += "\n";
  }
  const std::string log = dir / "syncs.log";
  std::string output;
  if (!runTraced(dir.path().string(),
                 "-o '" + log + "' -e trace=fsync,fdatasync,syncfs,sync", names,
                 output)) {
    GTEST_SKIP() << "strace is missing or cannot trace here";
  }
  EXPECT_EQ(output, expected);
  std::size_t syncs = 0;
  for (char c : readFile(log)) syncs += c == '\n' ? 1 : 0;
  // Per batch of 64: one sync for the new files' bytes, one for the backup
  // names, one for the swapped names.
  EXPECT_LE(syncs * 16, names.size()) << syncs << " syncs";
}

TEST(Batch, AFailedSyncFailsTheWholeBatch) {
  ScratchDir dir;
  std::vector<std::string> names;
  std::string expected;
  for (int i = 0; i < 3; ++i) {
    names.push_back(numbered(i, ".htm"));
    writeFile(dir / names.back(), kUntidy);
    writeFile(dir / numbered(i, ".bak"), "previous");
    expected += messagesFor(i, "-> failed\n");
  }
  std::string output;
  if (!runTraced(dir.path().string(), "-o /dev/null -e inject=syncfs:error=EIO",
                 names, output)) {
    GTEST_SKIP() << "strace is missing or cannot trace here";
  }
  EXPECT_EQ(output, expected);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(readFile(dir / names[i]), kUntidy);
    EXPECT_EQ(readFile(dir / numbered(i, ".bak")), "previous");
  }
  EXPECT_TRUE(temporaryLeftovers(dir.path().string()).empty());
}

}  // namespace
}  // namespace tagfmt::testing
