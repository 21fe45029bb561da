// Helpers shared by the tests: scratch folders, whole-file reads and writes,
// running the built binary, and line-end variants of a text.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tagfmt::testing {

// A fresh empty folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(std::string_view name) const;

 private:
  std::filesystem::path path_;
};

void writeFile(const std::string& path, std::string_view bytes);
std::string readFile(const std::string& path);
bool exists(const std::string& path);

// What a run of the tool printed and how it ended.
struct ToolRun {
  std::string output;
  bool exitedWithZero = false;
  bool timedOut = false;  // killed after the time limit
};

// Runs the tagfmt binary with `arguments` in `directory`, and kills it after
// `seconds`.
ToolRun runToolWithin(const std::filesystem::path& directory,
                      const std::vector<std::string>& arguments,
                      unsigned seconds);

// Runs the tagfmt binary with `arguments` in `directory` and returns what it
// printed on standard output. Fails the test if it does not exit with 0
// within two minutes.
// TAGFMT_TEST_TOOL, when set, names another program to run instead.
std::string runTool(const std::filesystem::path& directory,
                    const std::vector<std::string>& arguments);

// What a run of another program printed on each stream, and its exit
// status (-1 when it did not exit normally).
struct ProgramRun {
  std::string out;
  std::string err;
  int status = -1;
};

// Runs `binary` with `arguments` in `directory`, `input` on its standard
// input, and kills it after two minutes.
ProgramRun runProgram(const std::string& binary,
                      const std::filesystem::path& directory,
                      const std::vector<std::string>& arguments,
                      std::string_view input = {});

// While it lives, the test builds' seam breaks every tidied text, in this
// process and in the programs it starts.
struct BrokenPass {
  BrokenPass() { setenv("TAGFMT_BREAK_TIDIED", "1", 1); }
  ~BrokenPass() { unsetenv("TAGFMT_BREAK_TIDIED"); }
  BrokenPass(const BrokenPass&) = delete;
  BrokenPass& operator=(const BrokenPass&) = delete;
};

// The text with every "\n" written as CR LF, or as a lone CR.
std::string withCrLf(std::string_view text);
std::string withCr(std::string_view text);

// The folder of real pages: the one TAGFMT_TEST_CORPUS names, else
// ../shared/corpus beside the project; "" when there is none. A name in
// TAGFMT_TEST_CORPUS that is not a folder fails the calling test.
std::string corpusDir();

// Why a corpus test is skipped when corpusDir() is "", and how to name one.
std::string corpusMissing();

// The lines of `text`, split at each LF, without it.
std::vector<std::string> splitLines(const std::string& text);

}  // namespace tagfmt::testing
