// Large files are mapped, small ones copied, and a mapped file that another
// program cuts short reads as zeros and is reported, never a crash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "driver/file_bytes.h"
#include "driver/platform.h"
#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

namespace fs = std::filesystem;
using testing::PausedTool;
using testing::readFile;
using testing::resumeTool;
using testing::ScratchDir;
using testing::startPausedTool;
using testing::ToolRun;
using testing::writeFile;

// `size` bytes of lines "x" ended by `lineEnd`.
std::string lines(std::size_t size, std::string_view lineEnd) {
  std::string text;
  while (text.size() < size) {
    text += 'x';
    text += lineEnd;
  }
  text.resize(size);
  return text;
}

// Reads `path` through readFileBytes, as the file job does.
bool readThrough(const std::string& path, FileBytes& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool read = readFileBytes(
      fd, static_cast<std::uint64_t>(fs::file_size(path)), true, bytes);
  ::close(fd);
  return read;
}

TEST(FileBytes, MapsLargeFilesAndCopiesSmallOnes) {
  const struct {
    std::size_t size;
    const char* lineEnd;
    bool mapped;
  } cases[] = {
      {0, "\n", false},
      {kMapThreshold - 1, "\r\n", false},
      {kMapThreshold, "\r", true},
      {kMapThreshold * 4 + 7, "\n", true},
  };
  ScratchDir dir;
  for (const auto& c : cases) {
    const std::string path = dir / "page.htm";
    const std::string text = lines(c.size, c.lineEnd);
    writeFile(path, text);
    FileBytes bytes;
    ASSERT_TRUE(readThrough(path, bytes)) << c.size;
    EXPECT_EQ(bytes.mapped(), c.mapped) << c.size;
    EXPECT_TRUE(bytes.view() == text) << c.size;
    EXPECT_TRUE(bytes.intact()) << c.size;
    bytes.release();
    EXPECT_TRUE(bytes.view().empty());
  }
}

TEST(FileBytes, AMappedFileCutShortReadsAsZerosAndIsNoLongerIntact) {
  ScratchDir dir;
  const std::string path = dir / "page.htm";
  const std::size_t size = kMapThreshold * 8;
  const std::string text = lines(size, "\r\n");
  for (const std::size_t cut : {std::size_t{0}, size / 2 + 1, size - 1}) {
    writeFile(path, text);
    FileBytes bytes;
    ASSERT_TRUE(readThrough(path, bytes));
    ASSERT_TRUE(bytes.mapped());
    fs::resize_file(path, cut);
    EXPECT_FALSE(bytes.intact()) << cut;
    // Whole pages past the cut are gone; reading them must not end the
    // program, and what it finds there is zeros.
    const std::string_view view = bytes.view();
    std::size_t zeros = 0;
    for (char c : view) zeros += c == '\0' ? 1 : 0;
    EXPECT_GE(zeros + 4096, size - cut) << cut;
    EXPECT_EQ(view.substr(0, cut), std::string_view(text).substr(0, cut));
    EXPECT_FALSE(bytes.intact()) << cut;
  }
  // Slots are handed back: many mappings one after another still map.
  for (int i = 0; i < 20; ++i) {
    writeFile(path, text);
    FileBytes bytes;
    ASSERT_TRUE(readThrough(path, bytes));
    EXPECT_TRUE(bytes.mapped()) << i;
  }
}

TEST(FileBytes, ABusErrorElsewhereStillEndsTheProgram) {
  ScratchDir dir;
  const std::string path = dir / "page.htm";
  writeFile(path, lines(kMapThreshold, "\n"));
  FileBytes bytes;
  ASSERT_TRUE(readThrough(path, bytes));  // the handler is in place now
  ASSERT_TRUE(bytes.mapped());
  EXPECT_DEATH(::raise(SIGBUS), "");
}

// The tool is stopped once it has mapped the file, which is then cut short
// before the pass reads it: the job must end with "-> cannot read" and leave
// the file as the cut left it, with no backup.
TEST(FileBytes, AFileCutShortWhileTheJobRunsCannotBeRead) {
  ScratchDir dir;
  const std::string path = dir / "page.htm";
  const std::string text = lines(kMapThreshold * 16, "\n");
  for (const std::size_t cut : {std::size_t{0}, std::size_t{150000}}) {
    writeFile(path, text);
    // Old enough to be mapped: a file written just now is copied.
    const auto old = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(path, old);
    PausedTool tool = startPausedTool(dir.path(), {"page.htm"}, "opened");
    ASSERT_TRUE(tool.paused);
    fs::resize_file(path, cut);
    const ToolRun run = resumeTool(tool);
    EXPECT_TRUE(run.exitedWithZero);
    EXPECT_EQ(run.output, "-> cannot read\n");
    EXPECT_EQ(readFile(path), text.substr(0, cut));
    EXPECT_FALSE(fs::exists(dir / "page.bak"));
  }
}

}  // namespace
}  // namespace tagfmt
