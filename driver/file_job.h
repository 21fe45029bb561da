// The file job: read a file, decide on its text, and back it up and rewrite
// it when it changed and nests soundly. It says nothing itself: each job
// ends in a JobResult, which the caller words.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "driver/file_bytes.h"
#include "format/decision.h"
#include "format/format.h"
#include "report/file_report.h"

namespace tagfmt {

// What every job of a batch does beyond deciding on the text.
struct JobOptions {
  // Keep the old bytes under the backup name (backupNameFor). When off, the
  // file is rewritten with the same care (checked unchanged, signals held,
  // made durable, owner and mode kept, replaced whole where it can be) and
  // no backup is left behind.
  bool backup = true;
  // Explain the outcome as tagfmt-check does: each result holds the notes
  // on a refused or changed text.
  bool notes = false;
};

// How reading the file went (never kTooLarge or kNothingFound), and how
// far writing went: the report's own statuses.
using JobRead = ReadStatus;
using JobWrite = WriteStatus;

// How the file's new text took the file's name.
enum class JobRoad {
  kNone,      // not rewritten
  kReplaced,  // a new file, given the old one's identity, swapped in whole
  kInPlace,   // the old file's bytes overwritten where they lie
};

// Everything one file job found and did, for its caller to word.
struct JobResult {
  std::string path;  // the name as given to JobBatch::add
  JobRead read = JobRead::kOk;
  TextOutcome outcome = TextOutcome::kTidy;  // meaningful when read is kOk
  NestingFaults faults;                      // outcome kFaults: in order
  Notes notes;  // with JobOptions::notes: for kFaults and kChanged
  // checkJob only: the tidied text when asked for, and how far the file
  // moves the run's openSeq.
  std::string tidied;
  std::int64_t openCount = 0;
  JobWrite write = JobWrite::kNone;
  JobRoad road = JobRoad::kNone;
  // The backup's name as the path gives its folder, once one was chosen;
  // empty when no backup was asked for or none was reached.
  std::string backupPath;
  // errno of the call that failed (on Windows set from GetLastError()), 0
  // if none.
  int osError = 0;
};

// Receives each job's result once the job has ended, in the order the jobs
// were added.
using JobSink = std::function<void(const JobResult&)>;

struct PendingJob;

// File jobs run a batch at a time: jobs that rewrite their files wait in the
// batch until all of its backups are written, made durable together and
// named; then each file is rewritten in turn and its result handed on. The
// batch commits before a new job whenever a waiting one could change what
// the new one sees, so a run says and leaves exactly what jobs run one
// after the other would.
class JobBatch {
 public:
  JobBatch(JobOptions options, JobSink sink);
  // Commits whatever still waits.
  ~JobBatch();
  JobBatch(const JobBatch&) = delete;
  JobBatch& operator=(const JobBatch&) = delete;

  // Runs the job for `path` under `text` options, with the run's openSeq,
  // which it moves on by the file's recognised opening tags. A job with
  // nothing to write ends here, although its result may wait for those of
  // earlier jobs still in the batch.
  void add(const std::string& path, const RunOptions& text,
           std::int64_t& openSeq);

  // Finishes every waiting job, in order, and hands on every result not yet
  // handed on. A sync that fails fails every job waiting, files untouched.
  void commit();

 private:
  JobOptions options_;
  JobSink sink_;
  std::vector<std::unique_ptr<PendingJob>> jobs_;  // in the order added
  std::size_t writing_ = 0;                        // jobs that wait to write
  std::size_t bytes_ = 0;                          // text those jobs hold
};

// Check mode, for tagfmt-check: the job's read and decision on the file
// `path`, with its notes, and nothing written, with the run's openSeq at
// `openSeq`. The bytes read stay in `bytes` for the caller; the result
// keeps the tidied text of a changed file when `keepTidied` is set.
JobResult checkJob(const std::string& path, const RunOptions& options,
                   std::int64_t openSeq, FileBytes& bytes, bool keepTidied);

// The backup name for `path`: its final component's part from the last "."
// on replaced by ".bak", or ".bak" appended when that component has no ".".
std::string backupNameFor(const std::string& path);

}  // namespace tagfmt
