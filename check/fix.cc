// --fix over tagfmt's file job: the job reads, decides, explains and
// rewrites, in batches whose backups (when asked for) and rewrites are made
// durable together; this hands each job's report on in the order of the
// files.
#include "check/fix.h"

#include <deque>
#include <filesystem>

#include "driver/file_job.h"

namespace tagfmt {

namespace {

// A file's report, waiting until those before it are said.
struct Slot {
  const FileToCheck* file;
  FileReport report;
  bool done = false;  // false while its job has not ended
};

// The report on a file refused before any job reads it: a folder with no
// page, a file that is not a page, or one larger than the checker takes.
// False for the others.
bool refusedUnread(const FileToCheck& file, FileReport& report) {
  if (file.kind == WalkEntry::kNothingFound ||
      file.kind == WalkEntry::kNotAPage) {
    report = reportOfRead(file.path, file.kind == WalkEntry::kNotAPage
                                         ? ReadStatus::kNotAPage
                                         : ReadStatus::kNothingFound);
    return true;
  }
  std::error_code error;
  if (std::filesystem::is_regular_file(file.path, error) &&
      std::filesystem::file_size(file.path, error) > kLargestFile) {
    report = reportOfRead(file.path, ReadStatus::kTooLarge);
    return true;
  }
  return false;
}

// The job's report as tagfmt-check gives it: why a file could not be
// opened, and notes only where they explain what was done or refused.
FileReport fixedReport(const JobResult& result) {
  FileReport report = checkReport(result);
  const FileVerdict verdict = verdictOf(report);
  if (verdict != FileVerdict::kTidied && verdict != FileVerdict::kFaults) {
    report.notes.clear();
  }
  return report;
}

}  // namespace

void fixAll(const std::vector<FileToCheck>& files, const CheckOptions& options,
            const FixSink& sink) {
  std::deque<Slot> slots;
  const auto sayDone = [&] {
    while (!slots.empty() && slots.front().done) {
      sink(*slots.front().file, slots.front().report);
      slots.pop_front();
    }
  };
  {
    JobBatch batch(JobOptions{options.backup, true},
                   [&](const JobResult& result) {
                     for (Slot& slot : slots) {
                       if (!slot.done) {
                         slot.report = fixedReport(result);
                         slot.done = true;
                         break;
                       }
                     }
                     // Said while the job still holds signals, so a run
                     // ended by one has said what it rewrote.
                     sayDone();
                   });
    std::int64_t openSeq = 0;
    for (const FileToCheck& file : files) {
      slots.push_back({&file, {}, false});
      slots.back().done = refusedUnread(file, slots.back().report);
      if (!slots.back().done) batch.add(file.path, file.run, openSeq);
      sayDone();
    }
    batch.commit();
  }
  sayDone();
}

}  // namespace tagfmt
