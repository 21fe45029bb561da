// Large files are mapped, small ones copied, and a mapped file that another
// program cuts short reads as zeros and is reported, never a crash.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "driver/file_bytes.h"
#include "driver/platform.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::ScratchDir;
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
  const bool read =
      readFileBytes(fd, static_cast<std::uint64_t>(fs::file_size(path)), bytes);
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

// The tool, started with its standard output into a pipe nobody reads, is
// held in the middle of its pass over a mapped file by its own messages;
// the file is cut short then, and the job must end with "-> cannot read"
// and leave the file alone.
TEST(FileBytes, AFileCutShortWhileTheJobRunsCannotBeRead) {
  ScratchDir dir;
  const std::string path = dir / "page.htm";
  std::string text;
  // Each stray closing tag is a nesting message: enough to fill the pipe.
  for (int i = 0; i < 20000; ++i) text += "</td>\r\n";
  text += lines(kMapThreshold * 16, "\r\n");
  for (const std::size_t cut : {std::size_t{0}, std::size_t{150000}}) {
    writeFile(path, text);
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      ::dup2(pipeFds[1], STDOUT_FILENO);
      ::close(pipeFds[0]);
      ::close(pipeFds[1]);
      if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
      ::alarm(120);
      ::execl(TAGFMT_BINARY, TAGFMT_BINARY, "page.htm",
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(pipeFds[1]);
    // Wait until the pipe is full: the tool is then blocked writing.
    const int capacity = ::fcntl(pipeFds[0], F_GETPIPE_SZ);
    int waiting = 0;
    for (int tries = 0; tries < 20000 && waiting < capacity; ++tries) {
      ::usleep(1000);
      ASSERT_EQ(::ioctl(pipeFds[0], FIONREAD, &waiting), 0);
    }
    ASSERT_EQ(waiting, capacity) << "the tool never filled the pipe";
    fs::resize_file(path, cut);
    std::string output;
    char chunk[65536];
    ssize_t n;
    while ((n = ::read(pipeFds[0], chunk, sizeof chunk)) > 0) {
      output.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(pipeFds[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "status " << status;
    const std::string ending = "-> cannot read\n";
    EXPECT_TRUE(output.size() >= ending.size() &&
                output.compare(output.size() - ending.size(), ending.size(),
                               ending) == 0)
        << output.substr(output.size() -
                         std::min<std::size_t>(200, output.size()));
    EXPECT_EQ(readFile(path), text.substr(0, cut));
    EXPECT_FALSE(fs::exists(dir / "page.bak"));
  }
}

}  // namespace
}  // namespace tagfmt
