// --fix over tagfmt's file job: the job reads, decides and rewrites, in
// batches whose backups (when asked for) and rewrites are made durable
// together; this hands each job's report on in the order of the files.
#include "check/fix.h"

#include <deque>

#include "driver/file_job.h"
#include "driver/job_messages.h"

namespace tagfmt {

namespace {

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
      sink(*slots.front().file, slots.front().check.report);
      slots.pop_front();
    }
  };
  {
    JobBatch batch(JobOptions{options.backup}, [&](const JobResult& result) {
      for (Slot& slot : slots) {
        if (slot.byJob && !slot.done) {
          // The check's notes hold while the job agrees with it.
          FileReport fixed = jobReport(result);
          if (verdictOf(fixed) == FileVerdict::kTidied) {
            fixed.notes = std::move(slot.check.report.notes);
          }
          slot.check.report = std::move(fixed);
          slot.done = true;
          break;
        }
      }
    });
    std::int64_t openSeq = 0;
    for (const FileToCheck& file : files) {
      FileCheck check = checkFile(file, options.run, openSeq);
      const bool toFix = verdictOf(check.report) == FileVerdict::kWouldTidy;
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
