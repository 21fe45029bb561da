// Doors the tool must not write through: links and FIFOs at the backup's
// name, and names on the command line that are not regular files. The run
// must neither write outside the file and its backup nor hang.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

constexpr unsigned kTimeLimit = 60;  // seconds; only a hang comes near it

TEST(Door, BackupNameIsALinkOrAFifo) {
  enum class Door { kSymlink, kDanglingSymlink, kHardLink, kFifo };
  const struct {
    const char* what;
    Door door;
  } cases[] = {
      {"symbolic link to a file elsewhere", Door::kSymlink},
      {"symbolic link to a missing file elsewhere", Door::kDanglingSymlink},
      {"hard link to a file elsewhere", Door::kHardLink},
      {"FIFO", Door::kFifo},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    ScratchDir elsewhere;
    const std::string victim = elsewhere / "victim";
    writeFile(dir / "page.htm", "a\n");
    switch (c.door) {
      case Door::kSymlink:
        writeFile(victim, "keep me");
        fs::create_symlink(victim, dir / "page.bak");
        break;
      case Door::kDanglingSymlink:
        fs::create_symlink(victim, dir / "page.bak");
        break;
      case Door::kHardLink:
        writeFile(victim, "keep me");
        fs::create_hard_link(victim, dir / "page.bak");
        break;
      case Door::kFifo:
        ASSERT_EQ(mkfifo((dir / "page.bak").c_str(), 0600), 0);
        break;
    }
    const ToolRun run =
        runToolWithin(dir.path(), {"-w", "page.htm"}, kTimeLimit);
    EXPECT_TRUE(run.exitedWithZero && !run.timedOut) << c.what;
    EXPECT_EQ(run.output,
              "page.htm\n   writing page.bak\n   writing page.htm\n")
        << c.what;
    EXPECT_EQ(fs::symlink_status(dir / "page.bak").type(),
              fs::file_type::regular)
        << c.what;
    EXPECT_EQ(readFile(dir / "page.bak"), "a\n") << c.what;
    EXPECT_EQ(readFile(dir / "page.htm"), "a\r\n") << c.what;
    if (c.door == Door::kDanglingSymlink) {
      EXPECT_FALSE(exists(victim)) << c.what;
    } else if (c.door != Door::kFifo) {
      EXPECT_EQ(readFile(victim), "keep me") << c.what;
      EXPECT_EQ(fs::hard_link_count(victim), 1u) << c.what;
    }
  }
}

TEST(Door, NamesThatAreNotRegularFilesAreRefusedWithoutWaiting) {
  ScratchDir dir;
  writeFile(dir / "next.htm", "x\n");
  ASSERT_EQ(mkfifo((dir / "fifo.htm").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo((dir / "held.htm").c_str(), 0600), 0);
  fs::create_symlink("fifo.htm", dir / "link-to-fifo.htm");
  fs::create_directory(dir / "folder.htm");
  // A FIFO with a writer, which a blocking open would not wait on but a
  // read would.
  const int reader = open((dir / "held.htm").c_str(), O_RDONLY | O_NONBLOCK);
  const int writer = open((dir / "held.htm").c_str(), O_WRONLY | O_NONBLOCK);
  ASSERT_GE(writer, 0);
  const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string socketPath = dir / "socket.htm";
  ASSERT_LT(socketPath.size(), sizeof address.sun_path);
  std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size());
  ASSERT_EQ(
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  const char* const names[] = {"fifo.htm",   "held.htm",   "link-to-fifo.htm",
                               "folder.htm", "socket.htm", "/dev/null",
                               "/dev/zero",  "/dev/tty"};
  std::vector<std::string> arguments(std::begin(names), std::end(names));
  arguments.push_back("next.htm");
  const ToolRun run = runToolWithin(dir.path(), arguments, kTimeLimit);
  close(writer);
  close(reader);
  close(listener);
  EXPECT_TRUE(run.exitedWithZero && !run.timedOut);
  std::string expected;
  for (std::size_t i = 0; i < std::size(names); ++i) {
    expected += "-> cannot open\n";
  }
  EXPECT_EQ(run.output,
            expected + "next.htm\n   writing next.bak\n   writing next.htm\n");
  EXPECT_EQ(readFile(dir / "next.htm"), "x");
}

}  // namespace
}  // namespace tagfmt::testing
