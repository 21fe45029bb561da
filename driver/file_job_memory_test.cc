// The file job's roads and failures on the in-memory disk: each kind of
// file, a fault at every call, and a power cut at every call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "driver/file_job.h"
#include "driver/system_calls_memory.h"

namespace tagfmt {
namespace {

const std::string kOld = "<table><tr><td>x</td></tr></table>\n";
const std::string kPrevious = "previous backup";

std::string tidied() { return decideText(kOld, {}, 0).tidied; }

struct Layout {
  memory::DiskKind kind;
  bool secondLink = false;  // the page has another name too
  bool viaLink = false;     // the page is named through a symbolic link
  bool previous = true;     // an older backup is there (under page.bak)
};

const Layout kOneLink = {{}, false, false, true};
const Layout kTwoLinks = {{}, true, false, true};
const Layout kPlainDisk = {{false, false}, false, false, true};
const Layout kFatDisk = {{false, false, false}, false, false, true};

// Lays out the page; returns the name the job is given.
std::string layOut(const Layout& layout) {
  memory::reset(layout.kind);
  memory::putFile("site/page.htm", kOld);
  if (layout.secondLink) memory::putHardLink("site/other.htm", "site/page.htm");
  if (layout.previous) memory::putFile("site/page.bak", kPrevious);
  if (!layout.viaLink) return "site/page.htm";
  memory::putLink("site/alias.htm", "page.htm");
  return "site/alias.htm";
}

JobResult runOne(const std::string& path, bool backup) {
  JobResult seen;
  {
    JobBatch batch({backup}, [&](const JobResult& r) { seen = r; });
    std::int64_t openSeq = 0;
    batch.add(path, {}, openSeq);
  }
  return seen;
}

std::string bytesAt(const std::string& path) {
  std::string bytes = "<none>";
  memory::readFile(path, bytes);
  return bytes;
}

bool temporaryLeft() {
  for (const std::string& name : memory::namesIn("site")) {
    if (name.starts_with(".tagfmt-")) return true;
  }
  return false;
}

TEST(MemoryJob, EachKindOfFileTakesItsRoad) {
  const struct {
    const char* what;
    Layout layout;
    bool backup;
    JobRoad road;
    const char* backupName = "site/page.bak";
  } cases[] = {
      {"one link", kOneLink, true, JobRoad::kReplaced},
      {"one link, no backup", kOneLink, false, JobRoad::kReplaced},
      {"two links", kTwoLinks, true, JobRoad::kInPlace},
      {"through a link",
       {{}, false, true, true},
       true,
       JobRoad::kInPlace,
       "site/alias.bak"},
      {"no name swaps",
       {{true, false}, false, false, true},
       true,
       JobRoad::kInPlace},
      {"no unnamed files", kPlainDisk, true, JobRoad::kInPlace},
      {"no second names", kFatDisk, true, JobRoad::kInPlace},
      {"no second names, no backup", kFatDisk, false, JobRoad::kInPlace},
      {"two links, no backup", kTwoLinks, false, JobRoad::kInPlace},
  };
  for (const auto& c : cases) {
    const JobResult result = runOne(layOut(c.layout), c.backup);
    EXPECT_EQ(result.write, JobWrite::kWritten) << c.what;
    EXPECT_EQ(result.road, c.road) << c.what;
    EXPECT_EQ(bytesAt("site/page.htm"), tidied()) << c.what;
    EXPECT_EQ(bytesAt(c.backupName), c.backup ? kOld : kPrevious) << c.what;
    EXPECT_FALSE(temporaryLeft()) << c.what;
    EXPECT_EQ(memory::signalHolds(), 0) << c.what;
  }
}

// Every call of a clean run, as (name, nth) pairs.
std::vector<std::pair<std::string, int>> callsOf(const Layout& layout,
                                                 bool backup) {
  runOne(layOut(layout), backup);
  std::vector<std::pair<std::string, int>> each;
  std::vector<std::string> seen;
  for (const std::string& call : memory::calls()) {
    seen.push_back(call);
    each.emplace_back(
        call, static_cast<int>(std::count(seen.begin(), seen.end(), call)));
  }
  return each;
}

const Layout kRoads[] = {kOneLink, kTwoLinks, kPlainDisk, kFatDisk};

TEST(MemoryJob, AFaultAtAnyCallLosesNoBytes) {
  for (const Layout& layout : kRoads) {
    for (const bool backup : {true, false}) {
      for (const auto& [call, nth] : callsOf(layout, backup)) {
        const std::string where = call + " #" + std::to_string(nth) +
                                  (layout.secondLink ? " in place" : "") +
                                  (backup ? "" : " without backup");
        const std::string path = layOut(layout);
        memory::failCall(call, nth, EIO);
        const JobResult result = runOne(path, backup);
        const std::string page = bytesAt("site/page.htm");
        const std::string kept = bytesAt("site/page.bak");
        // A close that reports an error after the write says -> failed,
        // though the new text may be there.
        if (result.write == JobWrite::kWritten) {
          EXPECT_EQ(page, tidied()) << where;
        } else if (call != "close") {
          EXPECT_EQ(page, kOld) << where;
        }
        EXPECT_TRUE(page == kOld || page == tidied()) << where;
        if (backup && page != kOld) {
          EXPECT_EQ(kept, kOld) << where;
        }
        if (page == kOld) {
          EXPECT_TRUE(kept == kPrevious || kept == kOld) << where;
        }
        EXPECT_EQ(memory::signalHolds(), 0) << where;
      }
    }
  }
}

TEST(MemoryJob, APowerCutAtAnyCallLeavesTheOldBytesSomewhere) {
  for (const Layout& layout : kRoads) {
    for (const bool backup : {true, false}) {
      for (const auto& [call, nth] : callsOf(layout, backup)) {
        const std::string where = call + " #" + std::to_string(nth) +
                                  (layout.secondLink ? " in place" : "") +
                                  (backup ? "" : " without backup");
        const std::string path = layOut(layout);
        memory::beforeCall(call, nth, [] { memory::powerCut(); });
        runOne(path, backup);
        const std::string page = bytesAt("site/page.htm");
        if (page == kOld || page == tidied()) continue;
        // A torn page: its old bytes must be durable under another name.
        bool kept = false;
        for (const std::string& name : memory::namesIn("site")) {
          kept = kept || bytesAt("site/" + name) == kOld;
        }
        EXPECT_TRUE(kept) << where << ": torn, and no copy of the old bytes";
      }
    }
  }
}

// A power cut at any call of each road, then a second run: it puts right
// what the first left, so the page ends whole with its new text, the backup
// holds the old bytes, the page has its own links alone, and no temporary
// name is left.
TEST(MemoryJob, ASecondRunAfterAPowerCutAtAnyCallRepairsWhatItLeft) {
  for (const Layout& layout : kRoads) {
    for (const bool backup : {true, false}) {
      for (const auto& [call, nth] : callsOf(layout, backup)) {
        const std::string where = call + " #" + std::to_string(nth) +
                                  (layout.secondLink ? " in place" : "") +
                                  (backup ? "" : " without backup");
        const std::string path = layOut(layout);
        memory::beforeCall(call, nth, [] { memory::powerCut(); });
        runOne(path, backup);
        runOne(path, backup);
        runOne(path, backup);  // after a torn page was put back
        EXPECT_EQ(bytesAt("site/page.htm"), tidied()) << where;
        if (backup) {
          EXPECT_EQ(bytesAt("site/page.bak"), kOld) << where;
        }
        EXPECT_FALSE(temporaryLeft()) << where;
        EXPECT_EQ(memory::namesIn("site").size(),
                  (layout.secondLink ? 2U : 1U) + (backup || layout.previous))
            << where;
      }
    }
  }
}

// A second run while the first is between its swap and the removal of its
// temporary names: the page is new, but the first run still holds the old
// one, so the second leaves every one of its names alone.
TEST(MemoryJob, ALiveRunsNamesAreLeftAlone) {
  const auto each = callsOf(kOneLink, true);
  const auto swap = std::find(each.begin(), each.end(),
                              std::pair<std::string, int>("swapNames", 2));
  const auto removal = std::find_if(swap, each.end(), [](const auto& call) {
    return call.first == "removeName";
  });
  ASSERT_TRUE(removal != each.end());
  const std::string path = layOut(kOneLink);
  std::vector<std::string> before;
  std::vector<std::string> after;
  memory::beforeCall(removal->first, removal->second, [&] {
    before = memory::namesIn("site");
    runOne(path, true);
    after = memory::namesIn("site");
  });
  EXPECT_EQ(runOne(path, true).write, JobWrite::kWritten);
  EXPECT_GT(before.size(), 2U);
  EXPECT_EQ(after, before);
  EXPECT_EQ(bytesAt("site/page.bak"), kOld);
  EXPECT_FALSE(temporaryLeft());
}

TEST(MemoryJob, ASecondRunOnThePageMeanwhileIsRefused) {
  for (const Layout& layout : kRoads) {
    const std::string path = layOut(layout);
    JobResult first;
    JobResult second;
    std::int64_t openSeq = 0;
    {
      JobBatch running({true}, [&](const JobResult& r) { first = r; });
      running.add(path, {}, openSeq);  // staged, waiting for its batch
      JobBatch other({true}, [&](const JobResult& r) { second = r; });
      other.add(path, {}, openSeq);
    }
    EXPECT_EQ(second.write, JobWrite::kRefused);
    EXPECT_EQ(first.write, JobWrite::kWritten);
    EXPECT_EQ(bytesAt("site/page.htm"), tidied());
    EXPECT_EQ(bytesAt("site/page.bak"), kOld);
  }
}

// Another program writes the page while its old bytes are copied for the
// backup: nothing is named, and the previous backup stays.
TEST(MemoryJob, AWriteDuringTheBackupCopyKeepsThePreviousBackup) {
  for (const Layout& layout : {kTwoLinks, kPlainDisk}) {
    const std::string path = layOut(layout);
    memory::beforeCall("writeAt", 1, [] {
      memory::overwrite("site/page.htm", "edited meanwhile\n");
    });
    EXPECT_EQ(runOne(path, true).write, JobWrite::kRefused);
    EXPECT_EQ(bytesAt("site/page.htm"), "edited meanwhile\n");
    EXPECT_EQ(bytesAt("site/page.bak"), kPrevious);
    EXPECT_FALSE(temporaryLeft());
  }
}

// Another program changes the page's bytes but not its size or times just
// before its last check, after the swap on the replace road or before the
// write in place: its bytes stay under the page's name.
TEST(MemoryJob, AChangeThatKeepsTheTimesIsSeen) {
  const struct {
    Layout layout;
    const char* call;
    int nth;
  } cases[] = {{kOneLink, "statOf", 0}, {kTwoLinks, "reopenForWriting", 1}};
  for (const auto& c : cases) {
    int nth = c.nth;
    if (nth == 0) {  // the first stat after the replace road's swap
      const auto each = callsOf(c.layout, true);
      auto at = std::find(each.begin(), each.end(),
                          std::pair<std::string, int>("swapNames", 2));
      at = std::find_if(at, each.end(), [](const auto& call) {
        return call.first == "statOf";
      });
      ASSERT_TRUE(at != each.end());
      nth = at->second;
    }
    std::string same = kOld;
    same[1] = 'T';
    const std::string path = layOut(c.layout);
    // Swapped out, the old file is the backup; in place it keeps its name.
    memory::beforeCall(c.call, nth, [&] {
      memory::overwrite(c.layout.secondLink ? "site/page.htm" : "site/page.bak",
                        same, true);
    });
    EXPECT_EQ(runOne(path, true).write, JobWrite::kFailed) << c.call;
    EXPECT_EQ(bytesAt("site/page.htm"), same) << c.call;
  }
}

// A termination signal while the batch names its backups ends the run after
// the first file: the others are left as they were.
TEST(MemoryJob, ASignalEndsTheBatchAfterTheFileAtHand) {
  for (const Layout& layout : kRoads) {
    layOut(layout);
    for (const char* page : {"site/b.htm", "site/c.htm"}) {
      memory::putFile(page, kOld);
    }
    memory::beforeCall("syncNames", 1, [] { memory::sendSignal(); });
    std::vector<std::string> said;
    {
      JobBatch batch({true},
                     [&](const JobResult& r) { said.push_back(r.path); });
      std::int64_t openSeq = 0;
      for (const char* page : {"site/page.htm", "site/b.htm", "site/c.htm"}) {
        batch.add(page, {}, openSeq);
      }
    }
    EXPECT_EQ(said, std::vector<std::string>{"site/page.htm"});
    EXPECT_EQ(bytesAt("site/page.htm"), tidied());
    EXPECT_EQ(bytesAt("site/b.htm"), kOld);
    // In place, a backup named before the signal holds the page's bytes.
    const std::string kept = bytesAt("site/c.bak");
    EXPECT_TRUE(kept == "<none>" || kept == kOld) << kept;
    EXPECT_FALSE(temporaryLeft());
    EXPECT_EQ(memory::signalHolds(), 0);
  }
}

// Just after the swap, an editor writes the old file in place, which sends
// the job back, then saves by rename before the swap-back: the save keeps
// the name, and nothing the run did not make is removed.
TEST(MemoryJob, AnEditorsSaveAfterTheSwapKeepsTheName) {
  const auto each = callsOf(kOneLink, true);
  const auto swap = std::find(each.begin(), each.end(),
                              std::pair<std::string, int>("swapNames", 2));
  ASSERT_TRUE(swap != each.end() && swap + 1 != each.end());
  const std::string path = layOut(kOneLink);
  memory::beforeCall((swap + 1)->first, (swap + 1)->second, [] {
    memory::overwrite("site/page.bak", "edited in place\n");
    memory::putFile("site/page.htm", "the editor's save\n");
  });
  const JobResult result = runOne(path, true);
  EXPECT_EQ(result.write, JobWrite::kFailed);
  EXPECT_EQ(bytesAt("site/page.htm"), "the editor's save\n");
  bool keptEdit = false;
  for (const std::string& name : memory::namesIn("site")) {
    keptEdit = keptEdit || bytesAt("site/" + name) == "edited in place\n";
  }
  EXPECT_TRUE(keptEdit);
  EXPECT_EQ(memory::signalHolds(), 0);
}

}  // namespace
}  // namespace tagfmt
