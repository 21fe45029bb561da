// The file job: read a file, format it, and back it up and rewrite it when it
// changed and nests soundly.
#include <cstdio>
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

// The backup must never be the file itself, under its own name or another.
bool chooseBackupName(const std::string& path, const FileIdentity& identity,
                      std::string& backup) {
  backup = backupNameFor(path);
  if (backup == path || refersTo(backup, identity)) backup = path + ".bak";
  return !refersTo(backup, identity);
}

void sayCannotRead(FileReport& report) { report.sayDirect("-> cannot read\n"); }

// Writes the backup, then the file, with the messages that go with each. The
// file's bytes are let go before the file is first written, as a mapping
// would show the new text coming in.
void backUpAndRewrite(const std::string& path, const FileIdentity& identity,
                      FileBytes& original, std::string_view normalised,
                      FileReport& report) {
  report.showName();
  std::string backup;
  if (!chooseBackupName(path, identity, backup)) {
    report.say("-> failed\n");
    return;
  }
  const WriteResult backedUp =
      writeBackupFile(backup, original.view(), identity);
  if (backedUp == WriteResult::kCannotOpen) {
    report.say("-> failed\n");
    return;
  }
  report.say("   writing " + backup + "\n");
  // Cut short while the backup was written: the backup may hold zero bytes
  // that were never in the file, and would only mislead.
  if (!original.intact()) {
    std::remove(backup.c_str());
    sayCannotRead(report);
    return;
  }
  original.release();
  if (backedUp != WriteResult::kOk) {
    report.say("-> failed\n");
    return;
  }
  report.say("   writing " + path + "\n");
  if (rewriteFile(path, normalised, identity) != WriteResult::kOk) {
    report.say("-> failed\n");
  }
}

void runJob(const std::string& path, const RunOptions& options,
            std::int64_t& openSeq, FileReport& report) {
  FileBytes file;
  FileIdentity identity;
  switch (readRegularFile(path, file, identity)) {
    case ReadResult::kOk:
      break;
    case ReadResult::kCannotOpen:
      report.sayDirect("-> cannot open\n");
      return;
    case ReadResult::kCannotRead:
      sayCannotRead(report);
      return;
  }
  const std::string_view original = file.view();
  const TextShape shape = examineText(original.data(), original.size());
  // A mapped file cut short reads as zero bytes past the cut; every step
  // that read it asks whether that happened before its result is used.
  if (!file.intact()) {
    sayCannotRead(report);
    return;
  }
  // The engine sees text only up to a NUL, so the rest would be lost.
  if (shape.hasNul) {
    report.say("-> contains a NUL byte, not changed\n");
    return;
  }
  std::string work;
  if (original.size() >= kMapThreshold) {
    reserveForText(work, formatRoom(original.size()));
  }
  std::string_view text = original;
  if (!options.lineEndsOnly) {
    NestingFaults faults;
    const Formatted formatted =
        formatText(original, work, options, openSeq, faults);
    if (!file.intact()) {
      sayCannotRead(report);
      return;
    }
    if (formatted.verdict == Verdict::kFailed) {
      sayFaults(faults, report);
      return;
    }
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
  // The pass's own text is made CR LF where it stands, without a copy.
  std::string normalised;
  if (text.data() == work.data()) {
    normalised.swap(work);
    normaliseLineEndsInPlace(normalised);
  } else {
    normalised = normaliseLineEnds(text);
    std::string().swap(work);
  }
  if (!file.intact()) {
    sayCannotRead(report);
    return;
  }
  backUpAndRewrite(path, identity, file, normalised, report);
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
