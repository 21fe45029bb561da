// --fix over tagfmt's file job: the job reads, decides and rewrites, in
// batches whose backups (when asked for) and rewrites are made durable
// together; this only turns each JobResult into tagfmt-check's states and
// hands them on in the order of the files.
#include "check/fix.h"

#include <deque>

#include "driver/file_job.h"

namespace tagfmt {

namespace {

// What the job did, as tagfmt-check says it.
FileCheck fromJob(const JobResult& result) {
  FileCheck fixed;
  fixed.osError = result.osError;
  switch (result.read) {
    case JobRead::kCannotOpen:
      fixed.state = FileState::kCannotOpen;
      if (fixed.osError == 0) fixed.reason = "not a regular file";
      return fixed;
    case JobRead::kCannotRead:
      fixed.state = FileState::kCannotRead;
      if (fixed.osError == 0) fixed.reason = "it changed while it was read";
      return fixed;
    case JobRead::kNoMemory:
      fixed.state = FileState::kNoMemory;
      return fixed;
    case JobRead::kOk:
      break;
  }
  switch (result.outcome) {
    case TextOutcome::kTidy:
      fixed.state = FileState::kTidy;
      return fixed;
    case TextOutcome::kHasNul:
      fixed.state = FileState::kHasNul;
      return fixed;
    case TextOutcome::kFaults:
      fixed.state = FileState::kFaults;
      fixed.faults = result.faults;
      return fixed;
    case TextOutcome::kTooLarge:
      fixed.state = FileState::kNoMemory;
      return fixed;
    case TextOutcome::kInternalError:
      fixed.state = FileState::kInternalError;
      return fixed;
    case TextOutcome::kChanged:
      break;
  }
  if (result.write == JobWrite::kWritten) {
    fixed.state = FileState::kTidied;
    return fixed;
  }
  fixed.state = FileState::kCannotWrite;
  if (fixed.osError == 0) {
    fixed.reason = result.write == JobWrite::kBackupFailed
                       ? "the backup could not be written"
                       : "it changed since it was read";
  }
  return fixed;
}

// A file's result, waiting until those before it are said.
struct Slot {
  const FileToCheck* file;
  FileCheck check;
  bool done = false;
  bool byJob = false;  // its result comes from the job
};

}  // namespace

void fixAll(const std::vector<FileToCheck>& files, const CheckOptions& options,
            const FixSink& sink) {
  std::deque<Slot> slots;
  const auto sayDone = [&] {
    while (!slots.empty() && slots.front().done) {
      sink(*slots.front().file, slots.front().check);
      slots.pop_front();
    }
  };
  {
    JobBatch batch(JobOptions{options.backup}, [&](const JobResult& result) {
      for (Slot& slot : slots) {
        if (slot.byJob && !slot.done) {
          // The check's notes hold while the job agrees with it.
          FileCheck fixed = fromJob(result);
          if (fixed.state == FileState::kTidied) {
            fixed.notes = std::move(slot.check.notes);
          }
          slot.check = std::move(fixed);
          slot.done = true;
          break;
        }
      }
    });
    std::int64_t openSeq = 0;
    for (const FileToCheck& file : files) {
      FileCheck check = checkFile(file, options.run, openSeq);
      const bool toFix = check.state == FileState::kWouldTidy;
      slots.push_back({&file, std::move(check), !toFix, toFix});
      if (toFix) {
        batch.add(file.path, options.run, openSeq);
      } else {
        openSeq += slots.back().check.openCount;
      }
      sayDone();
    }
    batch.commit();
  }
  sayDone();
}

}  // namespace tagfmt
