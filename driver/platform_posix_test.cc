// The rewrite checks that the name still opens the file that was read.
#include <gtest/gtest.h>

#include <filesystem>

#include "driver/platform.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

namespace fs = std::filesystem;
using testing::readFile;
using testing::ScratchDir;
using testing::writeFile;

TEST(RewriteFile, RefusesANameThatNoLongerOpensTheFileRead) {
  enum class Swap { kNone, kSymlinkElsewhere, kOtherFile };
  const struct {
    const char* what;
    Swap swap;
    WriteResult result;
  } cases[] = {
      {"unchanged", Swap::kNone, WriteResult::kOk},
      {"now a link to another file", Swap::kSymlinkElsewhere,
       WriteResult::kCannotOpen},
      {"now another file", Swap::kOtherFile, WriteResult::kCannotOpen},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string page = dir / "page.htm";
    const std::string victim = dir / "victim";
    writeFile(page, "old");
    writeFile(victim, "keep me");
    FileBytes bytes;
    FileIdentity identity;
    ASSERT_EQ(readRegularFile(page, bytes, identity), ReadResult::kOk);
    if (c.swap == Swap::kSymlinkElsewhere) {
      fs::remove(page);
      fs::create_symlink(victim, page);
    } else if (c.swap == Swap::kOtherFile) {
      writeFile(dir / "other", "other");
      fs::rename(dir / "other", page);
    }
    EXPECT_EQ(rewriteFile(page, "new", identity), c.result) << c.what;
    EXPECT_EQ(readFile(victim), "keep me") << c.what;
    if (c.swap == Swap::kNone) {
      EXPECT_EQ(readFile(page), "new");
    }
  }
}

}  // namespace
}  // namespace tagfmt
