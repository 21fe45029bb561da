// The check of one text, and reading what is checked: standard input up to
// its first NUL byte or its limit, and files that cannot be read, with why.
#include "check/check_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "tests/test_util.h"

namespace tagfmt {
namespace {

RunOptions mode(bool markers, bool lineEndsOnly) {
  RunOptions options;
  options.markerMode = markers;
  options.lineEndsOnly = lineEndsOnly;
  return options;
}

TEST(CheckText, States) {
  const struct {
    const char* name;
    std::string text;
    RunOptions options;
    FileVerdict state;
    std::string tidied;
    std::size_t faults;
    std::size_t notes;
  } cases[] = {
      {"tidy",
       "<table>\r\n  <tr>\r\n  </tr></table>",
       {},
       FileVerdict::kTidy,
       "",
       0,
       0},
      {"re-indented",
       "<table>\n<tr>\n</tr></table>",
       {},
       FileVerdict::kWouldTidy,
       "<table>\r\n  <tr>\r\n  </tr></table>",
       0,
       0},
      {"line ends only", "<table>\n<tr>\n</tr>", mode(false, true),
       FileVerdict::kWouldTidy, "<table>\r\n<tr>\r\n</tr>", 0, 0},
      {"faults, with a note on the self-closed tag",
       "<table>\n<td/>\n</table>\n",
       {},
       FileVerdict::kFaults,
       "",
       2,
       1},
      {"NUL byte",
       std::string("<a>\0b", 5),
       {},
       FileVerdict::kHasNul,
       "",
       0,
       0},
  };
  for (const auto& c : cases) {
    const FileReport check = checkText(c.text, c.options, 0).report;
    EXPECT_EQ(verdictOf(check), c.state) << c.name;
    EXPECT_EQ(check.tidied, c.tidied) << c.name;
    EXPECT_EQ(check.faults.size(), c.faults) << c.name;
    EXPECT_EQ(check.notes.size(), c.notes) << c.name;
  }
}

TEST(CheckText, MarkersNumberOnFromTheRunsStart) {
  const std::string text = "<table>\n</table>\n";
  const FileCheck first = checkText(text, mode(true, false), 0);
  const FileCheck later = checkText(text, mode(true, false), 4);
  EXPECT_EQ(first.openCount, 1);
  EXPECT_NE(first.report.tidied.find("<!--@1@-->"), std::string::npos);
  EXPECT_NE(later.report.tidied.find("<!--@5@-->"), std::string::npos);
}

// A stream of `bytes`, at its start.
std::FILE* streamOf(const std::string& bytes) {
  std::FILE* stream = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), stream);
  std::rewind(stream);
  return stream;
}

TEST(ReadStream, StopsAtTheFirstNulOrTheLimit) {
  const std::string block(65536, 'a');
  const struct {
    const char* name;
    std::string bytes;
    std::uint64_t limit;
    FileVerdict state;
    long readNoFurtherThan;
  } cases[] = {
      {"empty", "", 100, FileVerdict::kTidy, 0},
      {"whole", "<p>", 100, FileVerdict::kTidy, 3},
      {"at the limit", block, 65536, FileVerdict::kTidy, 65536},
      {"past the limit", block + block + block, 65536, FileVerdict::kTooLarge,
       2 * 65536},
      {"NUL in the first block", "ab" + std::string(1, '\0') + block + block,
       1 << 30, FileVerdict::kHasNul, 65536},
  };
  for (const auto& c : cases) {
    std::FILE* stream = streamOf(c.bytes);
    std::string read;
    int osError = 0;
    EXPECT_EQ(readStream(stream, read, osError, c.limit), c.state) << c.name;
    EXPECT_LE(std::ftell(stream), c.readNoFurtherThan) << c.name;
    if (c.state == FileVerdict::kTidy) {
      EXPECT_EQ(read, c.bytes) << c.name;
    }
    std::fclose(stream);
  }
}

TEST(ReadFileToCheck, SaysWhyAFileCannotBeRead) {
  testing::ScratchDir dir;
  testing::writeFile(dir / "page.htm", "<p>");
  testing::writeFile(dir / "nul.htm", std::string("<p>\0", 4));
  std::filesystem::create_directory(dir / "folder.htm");
  ASSERT_EQ(::mkfifo((dir / "fifo.htm").c_str(), 0600), 0);
  const struct {
    std::string name;
    FileVerdict state;
    int osError;
    const char* reason;
  } cases[] = {
      {"page.htm", FileVerdict::kTidy, 0, ""},
      {"nul.htm", FileVerdict::kHasNul, 0, ""},
      {"missing.htm", FileVerdict::kCannotOpen, ENOENT, ""},
      {"folder.htm", FileVerdict::kCannotOpen, EISDIR, ""},
      {"fifo.htm", FileVerdict::kCannotOpen, 0, "not a regular file"},
  };
  for (const auto& c : cases) {
    ReadText text;
    FileCheck check;
    const bool read = readFileToCheck({dir / c.name}, text, check);
    EXPECT_EQ(read, c.state == FileVerdict::kTidy) << c.name;
    EXPECT_EQ(verdictOf(check.report), c.state) << c.name;
    EXPECT_EQ(check.report.osError, c.osError) << c.name;
    EXPECT_EQ(check.report.reason, c.reason) << c.name;
    if (read) {
      EXPECT_EQ(text.view(), "<p>");
    }
  }
}

}  // namespace
}  // namespace tagfmt
