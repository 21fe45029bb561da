// The file job: read a file, format it, and back it up and rewrite it when it
// changed and nests soundly.
#include <new>

#include "driver/driver.h"
#include "driver/line_ends.h"
#include "driver/platform.h"
#include "format/byte_scan.h"
#include "format/format.h"

namespace tagfmt {

std::string backupNameFor(const std::string& path) {
  const std::size_t separator = path.find_last_of(pathSeparators());
  const std::size_t componentStart =
      separator == std::string::npos ? 0 : separator + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < componentStart) return path + ".bak";
  return path.substr(0, dot) + ".bak";
}

namespace {

// The backup's name within the job's folder, which must never be the file
// itself under its own name or another.
bool chooseBackupLeaf(const JobFiles& job, std::string& backupLeaf) {
  backupLeaf = backupNameFor(job.leaf);
  if (backupLeaf == job.leaf || leafIsTheFile(job, backupLeaf)) {
    backupLeaf = job.leaf + ".bak";
  }
  return !leafIsTheFile(job, backupLeaf);
}

// Makes the backup whole and durable under its name, or says why not. True
// when the file may be rewritten.
bool backUp(const JobFiles& job, std::string_view original,
            StagedBackup& staged, FileReport& report) {
  std::string backupLeaf;
  if (!chooseBackupLeaf(job, backupLeaf) ||
      !unchangedSinceRead(job, original)) {
    report.say("-> failed\n");
    return false;
  }
  WriteResult result = stageBackup(job, original, staged);
  if (result == WriteResult::kOk) {
    result = makeDurable(staged) ? publishBackup(staged, backupLeaf)
                                 : WriteResult::kFailed;
  }
  if (result == WriteResult::kCannotOpen) {
    report.say("-> failed\n");
    return false;
  }
  report.say("   writing " + job.folderPath + backupLeaf + "\n");
  if (result != WriteResult::kOk) {
    report.say("-> failed\n");
    return false;
  }
  return true;
}

// Writes the backup, then the file, with the messages that go with each.
void backUpAndRewrite(const std::string& path, const JobFiles& job,
                      std::string_view original, std::string_view normalised,
                      FileReport& report) {
  report.showName();
  StagedBackup staged;
  if (!backUp(job, original, staged, report)) return;
  report.say("   writing " + path + "\n");
  if (rewriteInPlace(job, original, normalised, staged) != RewriteResult::kOk) {
    report.say("-> failed\n");
  }
}

void runJob(const std::string& path, const RunOptions& options,
            std::int64_t& openSeq, FileReport& report) {
  std::string original;
  JobFiles job;
  switch (openAndRead(path, job, original)) {
    case ReadResult::kOk:
      break;
    case ReadResult::kCannotOpen:
      report.sayDirect("-> cannot open\n");
      return;
    case ReadResult::kCannotRead:
      report.sayDirect("-> cannot read\n");
      return;
  }
  const TextShape shape = examineText(original.data(), original.size());
  // The engine sees text only up to a NUL, so the rest would be lost.
  if (shape.hasNul) {
    report.say("-> contains a NUL byte, not changed\n");
    return;
  }
  std::string work;
  std::string_view text = original;
  if (!options.lineEndsOnly) {
    const Formatted formatted =
        formatText(original, work, options, openSeq, report);
    if (formatted.verdict == Verdict::kFailed) return;
    if (formatted.verdict == Verdict::kTooLarge) {
      report.sayDirect("-> no memory\n");
      return;
    }
    text = formatted.text;
  }
  const bool unchanged = text.data() == original.data()
                             ? text.size() == original.size() && shape.allCrLf
                             : normalisedEquals(text, original);
  if (unchanged) return;
  const std::string normalised = normaliseLineEnds(text);
  std::string().swap(work);
  pauseForTest("read");
  backUpAndRewrite(path, job, original, normalised, report);
}

}  // namespace

void processFile(const std::string& path, const RunOptions& options,
                 std::int64_t& openSeq, FileReport& report) {
  try {
    runJob(path, options, openSeq, report);
  } catch (const std::bad_alloc&) {
    report.sayDirect("-> no memory\n");
  }
}

}  // namespace tagfmt
