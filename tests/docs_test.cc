// The documents for users: README stays short, every link between the
// documents leads to a file, and the commands README shows exist as shown.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

fs::path source(const std::string& name) {
  return fs::path(TAGFMT_SOURCE_DIR) / name;
}

std::vector<fs::path> documents() {
  std::vector<fs::path> found = {source("README.md"),
                                 source("CONTRIBUTING.md")};
  for (const auto& entry : fs::directory_iterator(source("docs"))) {
    if (entry.path().extension() == ".md") found.push_back(entry.path());
  }
  return found;
}

TEST(Docs, ReadmeStaysShort) {
  const std::size_t lines =
      splitLines(readFile(source("README.md").string())).size();
  EXPECT_LE(lines, 300u) << "README.md is for users: move details to docs/";
}

TEST(Docs, EveryLinkLeadsToAFile) {
  const std::regex link(R"(\]\(([^)\s]+)\))");
  for (const fs::path& document : documents()) {
    const std::string text = readFile(document.string());
    for (auto it = std::sregex_iterator(text.begin(), text.end(), link);
         it != std::sregex_iterator(); ++it) {
      std::string target = (*it)[1];
      if (target.starts_with("http") || target.starts_with("#") ||
          target.starts_with("mailto:")) {
        continue;
      }
      target = target.substr(0, target.find('#'));
      EXPECT_TRUE(fs::exists(document.parent_path() / target))
          << document.filename().string() << " links to " << target
          << ", which is not there";
    }
  }
}

// Each option a README command gives to tagfmt-check or tagfmt-lsp is one
// that program's --help lists.
TEST(Docs, ReadmeCommandsUseRealOptions) {
  const std::string readme = readFile(source("README.md").string());
  const std::regex command(
      R"((?:^|\$ |\s)(tagfmt-check|tagfmt-lsp)((?: +[^ \n`]+)*))");
  const std::regex option(R"(--[a-z-]+)");
  int checked = 0;
  for (const std::string& line : splitLines(readme)) {
    std::smatch found;
    if (!std::regex_search(line, found, command)) continue;
    const std::string program = found[1];
    const std::string binary =
        program == "tagfmt-check" ? TAGFMT_CHECK_BINARY : TAGFMT_LSP_BINARY;
    const std::string help =
        runProgram(binary, fs::temp_directory_path(), {"--help"}).out;
    // The program's own words end where the shell's begin.
    std::string words = found[2];
    words = words.substr(0, words.find_first_of("|#<>;&"));
    for (auto it = std::sregex_iterator(words.begin(), words.end(), option);
         it != std::sregex_iterator(); ++it) {
      EXPECT_NE(help.find(it->str()), std::string::npos)
          << "README gives " << program << " " << it->str()
          << ", which its --help does not list";
      ++checked;
    }
  }
  EXPECT_GT(checked, 0);
}

}  // namespace
}  // namespace tagfmt::testing
