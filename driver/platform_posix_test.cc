// The steps of a rewrite on their own: the file must still be the one read,
// holding what was read, and a staged backup leaves nothing when dropped.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "driver/platform.h"
#include "driver/platform_io.h"
#include "tests/fault_util.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::ScratchDir;
using testing::temporaryLeftovers;
using testing::writeFile;

TEST(RewriteInPlace, RefusesAFileChangedOrSwappedSinceRead) {
  enum class Change {
    kNone,
    kSymlinkElsewhere,
    kOtherFile,
    kAppended,
    kTruncated,
    kSameSizeInPlace
  };
  const struct {
    const char* what;
    Change change;
    RewriteResult result;
  } cases[] = {
      {"unchanged", Change::kNone, RewriteResult::kOk},
      {"now a link to another file", Change::kSymlinkElsewhere,
       RewriteResult::kChanged},
      {"now another file", Change::kOtherFile, RewriteResult::kChanged},
      {"appended to", Change::kAppended, RewriteResult::kChanged},
      {"cut short", Change::kTruncated, RewriteResult::kChanged},
      {"rewritten in place, same size", Change::kSameSizeInPlace,
       RewriteResult::kChanged},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string page = dir / "page.htm";
    const std::string victim = dir / "victim";
    writeFile(page, "old text");
    writeFile(victim, "keep me");
    JobFiles job;
    FileBytes read;
    ASSERT_EQ(openAndRead(page, job, read), ReadResult::kOk);
    StagedFile backup;
    ASSERT_EQ(stageBackup(job, read.view(), backup), WriteResult::kOk);
    ASSERT_EQ(publishBackup(backup, "page.bak"), WriteResult::kOk);
    std::string expected = "new";
    switch (c.change) {
      case Change::kNone:
        break;
      case Change::kSymlinkElsewhere:
        fs::remove(page);
        fs::create_symlink(victim, page);
        expected = "keep me";
        break;
      case Change::kOtherFile:
        writeFile(dir / "other", "other");
        fs::rename(dir / "other", page);
        expected = "other";
        break;
      case Change::kAppended:
        expected = "old text, more";
        break;
      case Change::kTruncated:
        expected = "old";
        break;
      case Change::kSameSizeInPlace:
        expected = "OLD TEXT";
        break;
    }
    if (c.change >= Change::kAppended) writeFile(page, expected);
    EXPECT_EQ(unchangedSinceRead(job, read.view()), c.change == Change::kNone)
        << c.what;
    EXPECT_EQ(rewriteInPlace(job, read.view(), "new", backup), c.result)
        << c.what;
    EXPECT_EQ(readFile(page), expected) << c.what;
    EXPECT_EQ(readFile(victim), "keep me") << c.what;
    EXPECT_EQ(readFile(dir / "page.bak"), "old text") << c.what;
  }
}

TEST(StageBackup, LeavesNothingUnlessPublished) {
  ScratchDir dir;
  writeFile(dir / "page.htm", "old");
  writeFile(dir / "page.bak", "previous");
  ASSERT_EQ(chmod((dir / "page.htm").c_str(), 0640), 0);
  JobFiles job;
  FileBytes read;
  ASSERT_EQ(openAndRead(dir / "page.htm", job, read), ReadResult::kOk);
  {
    StagedFile staged;
    ASSERT_EQ(stageBackup(job, read.view(), staged), WriteResult::kOk);
    ASSERT_TRUE(makeDurable(staged));
  }
  EXPECT_EQ(readFile(dir / "page.bak"), "previous");
  EXPECT_TRUE(temporaryLeftovers(dir.path().string()).empty());
  StagedFile staged;
  ASSERT_EQ(stageBackup(job, read.view(), staged), WriteResult::kOk);
  ASSERT_EQ(publishBackup(staged, "page.bak"), WriteResult::kOk);
  EXPECT_EQ(readFile(dir / "page.bak"), "old");
  EXPECT_EQ(
      fs::status(dir / "page.bak").permissions(),
      fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_TRUE(temporaryLeftovers(dir.path().string()).empty());
}

}  // namespace
}  // namespace tagfmt

namespace tagfmt {
namespace {

// The hash that stands for the bytes read: fed in pieces as a file is read,
// it must give what the whole gives, and no one-byte change may go unseen.
TEST(ByteHash, PiecesAgreeWithTheWholeAndEveryByteCounts) {
  std::string text;
  for (int i = 0; i < 300; ++i) text += static_cast<char>('a' + i % 23);
  const auto hashOf = [](std::string_view bytes, std::size_t piece) {
    ByteHash hash;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
      hash.add(bytes.substr(at, piece));
    }
    return hash.value();
  };
  const std::uint64_t whole = hashOf(text, text.size());
  for (const std::size_t piece : {32, 64, 96, 288}) {
    EXPECT_EQ(hashOf(text, piece), whole) << piece;
  }
  for (std::size_t at = 0; at < text.size(); ++at) {
    std::string changed = text;
    changed[at] ^= 1;
    EXPECT_NE(hashOf(changed, text.size()), whole) << at;
  }
  // Words that change places, and a text cut short or padded with zeros.
  std::string swapped = text;
  std::swap_ranges(swapped.begin(), swapped.begin() + 8, swapped.begin() + 32);
  EXPECT_NE(hashOf(swapped, text.size()), whole);
  EXPECT_NE(hashOf(text.substr(0, 299), 299), whole);
  EXPECT_NE(hashOf(std::string(8, '\0'), 8), hashOf(std::string(16, '\0'), 16));
}

// The last checks read a file a piece of a mebibyte at a time, into room
// not filled ahead: across every piece's edge they must see the whole file
// and no more, and restoring must leave exactly the backup's bytes.
TEST(LastChecks, SeeTheWholeFileAcrossPieces) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  ScratchDir dir;
  for (const std::size_t size : {std::size_t{0}, std::size_t{1}, kMiB - 1, kMiB,
                                 kMiB + 1, 3 * kMiB + 5}) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
      text[i] = static_cast<char>('a' + (i * 7 + i / 4096) % 26);
    }
    writeFile(dir / "page.htm", text);
    writeFile(dir / "page.bak", text.substr(0, size / 2) + "older");
    const int page = ::open((dir / "page.htm").c_str(), O_RDWR | O_CLOEXEC);
    const int backup = ::open((dir / "page.bak").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(page, 0);
    ASSERT_GE(backup, 0);
    EXPECT_TRUE(holdsBytes(page, text)) << size;
    EXPECT_FALSE(holdsBytes(page, text + "x")) << size;
    if (size > 0) {
      std::string changed = text;
      changed.back() ^= 1;
      EXPECT_FALSE(holdsBytes(page, changed)) << size;
      EXPECT_FALSE(holdsBytes(page, text.substr(0, size - 1))) << size;
    }
    ByteHash expected;
    expected.add(text);
    std::uint64_t hash = 0;
    EXPECT_TRUE(hashOfFile(page, hash)) << size;
    EXPECT_EQ(hash, expected.value()) << size;
    EXPECT_TRUE(restoreFromBackup(page, backup)) << size;
    EXPECT_EQ(readFile(dir / "page.htm"), readFile(dir / "page.bak")) << size;
    ::close(page);
    ::close(backup);
  }
}

}  // namespace
}  // namespace tagfmt
