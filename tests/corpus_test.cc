// Smoke test on real pages kept beside the project: nothing crashes, nothing
// is lost, and formatting changes only blanks and line ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "format/decision.h"
#include "format/format.h"
#include "tests/test_util.h"
#include "tests/text_properties.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> corpusFiles() {
  std::vector<std::string> files;
  const std::string dir = corpusDir();
  if (dir.empty()) return files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && name != "README.md" &&
        name != "MANIFEST.tsv") {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string withoutBlanks(std::string_view text) {
  std::string kept;
  for (char c : text) {
    if (c != ' ' && c != '\t' && c != '\v' && c != '\f' && c != '\r' &&
        c != '\n') {
      kept += c;
    }
  }
  return kept;
}

TEST(Corpus, FormattingChangesOnlyBlanks) {
  const std::vector<std::string> files = corpusFiles();
  if (files.empty()) GTEST_SKIP() << corpusMissing();
  int sound = 0;
  for (const std::string& file : files) {
    const std::string text = readFile(file);
    NestingFaults faults;
    std::int64_t openSeq = 0;
    std::string work;
    const Formatted formatted =
        formatText(text, work, RunOptions{}, openSeq, faults);
    if (formatted.verdict != Verdict::kSound) continue;
    ++sound;
    if (text.find("<!--@") == std::string::npos) {
      EXPECT_TRUE(withoutBlanks(formatted.text) == withoutBlanks(text)) << file;
    }
  }
  EXPECT_GT(sound, 0);
}

// Every sound page settles in one run and keeps its words, with marker
// mode off and on.
TEST(Corpus, TidiedPagesSettleAndKeepTheirWords) {
  const std::vector<std::string> files = corpusFiles();
  if (files.empty()) GTEST_SKIP() << corpusMissing();
  int changed = 0;
  int mostPasses = 0;
  for (const std::string& file : files) {
    const std::string text = readFile(file);
    for (const bool markers : {false, true}) {
      RunOptions options;
      options.markerMode = markers;
      const TextDecision first = decideText(text, options, 0);
      if (first.outcome != TextOutcome::kChanged) continue;
      ++changed;
      mostPasses = std::max(mostPasses, first.passes);
      const TextDecision again = decideText(first.tidied, options, 0);
      EXPECT_EQ(again.outcome, TextOutcome::kTidy)
          << file << (markers ? " with markers" : "");
      EXPECT_TRUE(sameWords(text, first.tidied)) << file;
    }
  }
  EXPECT_GT(changed, 0);
  std::printf("%d tidied texts, the most passes one needed: %d\n", changed,
              mostPasses);
}

// Copies get short names of their own: some pages share a name's stem.
std::string pageName(std::size_t index, std::string_view extension) {
  std::string name = std::to_string(index);
  name += extension;
  return name;
}

TEST(Corpus, RunOverCopiesLosesNoByte) {
  const std::vector<std::string> files = corpusFiles();
  if (files.empty()) GTEST_SKIP() << corpusMissing();
  ScratchDir dir;
  std::vector<std::string> names;
  for (const std::string& file : files) {
    const std::string name = pageName(names.size(), ".page");
    fs::copy_file(file, dir / name);
    names.push_back(name);
  }
  runTool(dir.path(), names);
  int rewritten = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    const std::string original = readFile(files[i]);
    const std::string backup = dir / pageName(i, ".bak");
    if (!exists(backup)) {
      EXPECT_TRUE(readFile(dir / names[i]) == original) << files[i];
      continue;
    }
    ++rewritten;
    EXPECT_TRUE(readFile(backup) == original) << files[i];
    EXPECT_TRUE(withoutBlanks(readFile(dir / names[i])) ==
                withoutBlanks(original))
        << files[i];
  }
  EXPECT_GT(rewritten, 0);
}

}  // namespace
}  // namespace tagfmt::testing
