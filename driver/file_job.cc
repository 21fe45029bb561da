// The file job: read a file, format it, and back it up and rewrite it when it
// changed and nests soundly. Jobs that rewrite wait in a batch, so that one
// sync makes all of their backups durable; their results wait with them.
#include "driver/file_job.h"

#include <cerrno>
#include <new>

#include "driver/platform.h"

namespace tagfmt {

std::string backupNameFor(const std::string& path) {
  const std::size_t separator = path.find_last_of(pathSeparators());
  const std::size_t componentStart =
      separator == std::string::npos ? 0 : separator + 1;
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < componentStart) return path + ".bak";
  return path.substr(0, dot) + ".bak";
}

// One file's job from its read to its rewrite, with what it found.
struct PendingJob {
  explicit PendingJob(const std::string& name) { result.path = name; }

  JobResult result;
  JobFiles files;
  FileBytes original;
  std::string normalised;
  std::string backupLeaf;
  bool hadBackup = false;  // something had the backup's name when staged
  FileIdentity previousBackup;
  StagedFile staged;  // in place: the old bytes, for the backup
  // The replace road's new file, and the previous backup while the file's
  // own link holds the backup name; both let go once the file is replaced.
  std::unique_ptr<StagedFile> replacement = std::make_unique<StagedFile>();
  std::unique_ptr<StagedFile> previous = std::make_unique<StagedFile>();
  bool replacing = false;  // on the replace road
  bool writing = false;    // staged, waiting for the batch
  bool readAgain = false;  // a dead run's torn write was undone under it
};

namespace {

// A batch holds at most this many rewrites and bytes of text: with three
// full syncs a batch, 128 files keep them under one per 40 rewrites.
constexpr std::size_t kBatchFiles = 128;
constexpr std::size_t kBatchBytes = std::size_t{64} << 20;

// Ends the job's writing with `write`, keeping the first error seen.
void fail(PendingJob& job, JobWrite write, int error = errno) {
  job.result.write = write;
  if (job.result.osError == 0) job.result.osError = error;
  job.writing = false;
}

// The backup's name within the job's folder, which must never be the file
// itself under its own name or another.
bool chooseBackupLeaf(const JobFiles& job, std::string& backupLeaf) {
  backupLeaf = backupNameFor(job.leaf);
  if (backupLeaf == job.leaf || leafIsTheFile(job, backupLeaf)) {
    backupLeaf = job.leaf + ".bak";
  }
  return !leafIsTheFile(job, backupLeaf);
}

// Puts right what a dead run left beside the file, under either backup
// name it may have used.
RepairResult repair(PendingJob& job, const TidyText& tidy) {
  // Most folders hold none: one listing tells.
  if (!leftoversBeside(job.files)) return RepairResult::kClear;
  const std::string& leaf = job.files.leaf;
  const std::string names[] = {backupNameFor(leaf), leaf + ".bak"};
  RepairResult result = RepairResult::kClear;
  for (const std::string& name : names) {
    if (name == leaf) continue;
    const RepairResult one =
        repairLeftovers(job.files, job.original.view(), name, tidy);
    if (one != RepairResult::kClear) result = one;
  }
  return result;
}

// Takes the file for this job, checks it unchanged and puts right what a
// dead run left beside it; false, with the result set, when it cannot go on.
bool claimAndRepair(PendingJob& job, const TidyText& tidy) {
  // Another run at work on the file would take its backup name or its
  // old bytes from under this one. Said as EAGAIN, which is EWOULDBLOCK on
  // Linux and the one Windows' C library words ("Resource temporarily
  // unavailable").
  if (!claimForWriting(job.files)) {
    fail(job, JobWrite::kRefused, EAGAIN);
    return false;
  }
  if (!unchangedSinceRead(job.files, job.original.view())) {
    fail(job, JobWrite::kRefused, 0);
    return false;
  }
  const RepairResult repaired = repair(job, tidy);
  // Torn and changed otherwise since, or its old bytes just put back: what
  // was read is not to be written from.
  job.readAgain = repaired == RepairResult::kRestored;
  if (repaired != RepairResult::kClear) {
    fail(job, JobWrite::kRefused, 0);
    return false;
  }
  return true;
}

// The in-place road's staging: the backup, a copy of the bytes read,
// under no name yet. True when it waits for the batch.
bool stageInPlace(PendingJob& job) {
  const WriteResult result =
      stageBackup(job.files, job.original.view(), job.staged);
  const int error = errno;
  // Cut short while the backup was written from a mapping: the backup may
  // hold zero bytes that were never in the file, and is dropped unnamed.
  if (!job.original.intact()) {
    fail(job, JobWrite::kCutShort, 0);
    return false;
  }
  if (result != WriteResult::kOk) {
    fail(job,
         result == WriteResult::kCannotOpen ? JobWrite::kRefused
                                            : JobWrite::kBackupFailed,
         error);
    return false;
  }
  // A large file's bytes are a view of the file itself: a write during the
  // copy would put bytes never decided on into the backup, over the
  // previous one. Such a write moves the file's times.
  if (!unchangedSinceRead(job.files, job.original.view())) {
    fail(job, JobWrite::kRefused, 0);
    return false;
  }
  return true;
}

// Writes the backup under no name yet, or records why not. True when it
// waits for the batch.
bool stage(PendingJob& job, const JobOptions& options, const TidyText& tidy) {
  if (!claimAndRepair(job, tidy)) return false;
  if (options.backup && !chooseBackupLeaf(job.files, job.backupLeaf)) {
    fail(job, JobWrite::kRefused, EEXIST);
    return false;
  }
  if (options.backup) {
    job.hadBackup = identityAt(job.files, job.backupLeaf, job.previousBackup);
    job.result.backupPath = job.files.folderPath + job.backupLeaf;
  }
  if (mayReplace(job.files)) {
    const WriteResult replaced =
        stageReplacement(job.files, job.normalised, *job.replacement);
    if (replaced == WriteResult::kOk) {
      job.replacing = true;
      return true;
    }
    if (replaced == WriteResult::kFailed) {
      fail(job, JobWrite::kBackupFailed);
      return false;
    }
    // The new file could not take the old one's identity: in place, then.
  }
  return stageInPlace(job);
}

// Decides on what was read into `original`, filling the result's read,
// outcome, faults and notes (with `explain`); returns the decision, whose
// tidied text stands when the result's outcome is kChanged.
TextDecision decideRead(ReadResult read, const FileBytes& original,
                        bool explain, const RunOptions& options,
                        std::int64_t openSeq, JobResult& result) {
  if (read != ReadResult::kOk) {
    result.read = read == ReadResult::kCannotOpen ? JobRead::kCannotOpen
                                                  : JobRead::kCannotRead;
    result.osError = errno;
    return {};
  }
  const std::string_view text = original.view();
  std::string room;
  if (!explain && text.size() >= kMapThreshold) {
    reserveForText(room, formatRoom(text.size()));
  }
  TextDecision decision =
      explain ? decideAndExplain(text, options, openSeq)
              : decideText(text, options, openSeq, std::move(room));
  // A mapped file cut short reads as zero bytes past the cut: nothing found
  // in it may be said or written.
  if (!original.intact()) {
    result.read = JobRead::kCannotRead;
    return decision;
  }
  // Read only up to its first NUL byte: refused, whatever came before it.
  result.outcome =
      original.stoppedAtNul() ? TextOutcome::kHasNul : decision.outcome;
  if (decision.outcome == TextOutcome::kFaults) {
    result.faults = std::move(decision.faults);
  }
  if (result.outcome == TextOutcome::kFaults ||
      result.outcome == TextOutcome::kChanged) {
    result.notes = std::move(decision.notes);
  }
  return decision;
}

void runOnce(ReadResult read, PendingJob& job, const JobOptions& jobOptions,
             const RunOptions& options, std::int64_t& openSeq);

// Runs the job on what was read, and once more on the file read again when
// a dead run's torn write was undone under it.
void runJob(ReadResult read, std::unique_ptr<PendingJob>& job,
            const JobOptions& jobOptions, const RunOptions& options,
            std::int64_t& openSeq) {
  const std::int64_t before = openSeq;
  runOnce(read, *job, jobOptions, options, openSeq);
  if (!job->readAgain) return;
  openSeq = before;
  const std::string path = job->result.path;
  job = std::make_unique<PendingJob>(path);
  runOnce(openAndRead(path, job->files, job->original), *job, jobOptions,
          options, openSeq);
}

// Formats and compares what was read; stages the backup when the file
// changed, and puts right what a dead run left beside it.
void runOnce(ReadResult read, PendingJob& job, const JobOptions& jobOptions,
             const RunOptions& options, std::int64_t& openSeq) {
  const std::int64_t before = openSeq;
  TextDecision decision = decideRead(read, job.original, jobOptions.notes,
                                     options, openSeq, job.result);
  openSeq += decision.openCount;
  if (job.result.read != JobRead::kOk) return;
  const TidyText tidy = [&options, before](std::string_view old) {
    return decideText(old, options, before).tidied;
  };
  if (job.result.outcome != TextOutcome::kChanged) {
    // Nothing to write, but what a dead run left beside it is put right.
    job.readAgain = leftoversBeside(job.files) && claimForWriting(job.files) &&
                    repair(job, tidy) == RepairResult::kRestored;
    return;
  }
  job.normalised = std::move(decision.tidied);
  pauseForTest("read");
  job.writing = stage(job, jobOptions, tidy);
}

bool sameFolder(const JobFiles& a, const JobFiles& b) {
  return a.folderIdentity.device == b.folderIdentity.device &&
         a.folderIdentity.inode == b.folderIdentity.inode;
}

// What a new job's backup would replace: the names it may take and what
// they name now.
struct BackupTargets {
  std::string names[2];
  bool exists[2] = {false, false};
  FileIdentity identities[2];
};

BackupTargets backupTargetsOf(const JobFiles& files) {
  BackupTargets targets;
  targets.names[0] = backupNameFor(files.leaf);
  targets.names[1] = files.leaf + ".bak";
  for (int i = 0; i < 2; ++i) {
    targets.exists[i] =
        identityAt(files, targets.names[i], targets.identities[i]);
  }
  return targets;
}

// True when the job `job` and the waiting job `pending` would see each
// other's writes, were they run one after the other.
bool touches(const PendingJob& pending, const PendingJob& job,
             const BackupTargets& targets) {
  const JobFiles& files = job.files;
  const bool folder = sameFolder(pending.files, files);
  if (sameFile(pending.files.identity, files.identity) ||
      (pending.hadBackup && sameFile(pending.previousBackup, files.identity)) ||
      (folder && files.leaf == pending.backupLeaf)) {
    return true;  // the same file, or the backup about to be replaced
  }
  for (int i = 0; i < 2; ++i) {
    if ((targets.exists[i] &&
         sameFile(targets.identities[i], pending.files.identity)) ||
        (folder && (targets.names[i] == pending.backupLeaf ||
                    targets.names[i] == pending.files.leaf))) {
      return true;  // its backup would replace the waiting file or backup
    }
  }
  return false;
}

// True when the folder's new names were made durable in this batch.
bool folderSynced(const std::vector<const JobFiles*>& folders,
                  const JobFiles& files) {
  for (const JobFiles* done : folders) {
    if (sameFolder(*done, files)) return true;
  }
  return false;
}

}  // namespace

JobBatch::JobBatch(JobOptions options, JobSink sink)
    : options_(options), sink_(std::move(sink)) {
  ignoreFileSizeLimit();
  forgetListings();
}

JobBatch::~JobBatch() { commit(); }

namespace {

// Gives the job's old bytes a durable name before its file changes: the
// backup's, and in place a hidden one kept until the rewrite.
WriteResult publish(PendingJob& job, bool backup) {
  if (job.replacing) {
    return backup ? linkAsBackup(job.files, job.backupLeaf, *job.previous)
                  : WriteResult::kOk;
  }
  if (backup) {
    const WriteResult named = publishBackup(job.staged, job.backupLeaf);
    if (named != WriteResult::kOk) return named;
  }
  // A hidden name of the old bytes, until the file is whole again, tells a
  // later run that a torn file's old bytes are there.
  return keepHidden(job.staged, job.normalised);
}

// Publishes every staged backup of the batch once all are durable, then
// makes the new names durable with one sync per folder, so that every
// backup name is on disk before any file of the batch changes. A job whose
// backup cannot take its name, or whose name is not durable, stops.
void publishAll(std::vector<std::unique_ptr<PendingJob>>& jobs, bool backup) {
  std::vector<StagedFile*> staged;
  for (const auto& job : jobs) {
    if (job->writing) {
      staged.push_back(job->replacing ? job->replacement.get() : &job->staged);
    }
  }
  const bool durable = staged.empty() || makeAllDurable(staged);
  const int error = errno;
  for (const auto& job : jobs) {
    if (!job->writing) continue;
    if (!durable) {
      fail(*job, JobWrite::kBackupFailed, error);
    } else if (publish(*job, backup) == WriteResult::kCannotOpen) {
      fail(*job, JobWrite::kRefused);
    }
  }
  std::vector<const JobFiles*> synced;
  std::vector<const JobFiles*> failed;
  for (const auto& job : jobs) {
    // Without a backup only the in-place road's hidden copy has a name.
    if (!job->writing || (!backup && job->replacing)) continue;
    if (!folderSynced(synced, job->files) &&
        !folderSynced(failed, job->files)) {
      (makeNamesDurable(job->files.folder) ? synced : failed)
          .push_back(&job->files);
    }
    if (folderSynced(failed, job->files)) {
      fail(*job, JobWrite::kBackupFailed);
    }
  }
}

// Rewrites the job's file on its road; true when it holds the new text.
bool rewrite(PendingJob& job, bool backup) {
  if (job.replacing) {
    job.result.road = JobRoad::kReplaced;
    const bool replaced =
        replaceFile(job.files, job.original.view(), *job.replacement,
                    *job.previous,
                    backup ? job.backupLeaf : "") == RewriteResult::kOk;
    // The temporary names go now, before the folder's last sync.
    job.replacement.reset();
    job.previous.reset();
    return replaced;
  }
  job.result.road = JobRoad::kInPlace;
  const RewriteResult rewritten = rewriteInPlace(job.files, job.original.view(),
                                                 job.normalised, job.staged);
  // The hidden copy of the old bytes goes once the file is whole again,
  // with the new ones durable or the old ones put back.
  if (rewritten == RewriteResult::kTorn) job.staged.published = true;
  letGo(job.staged);
  return rewritten == RewriteResult::kOk;
}

// Leaves the job's file as it is, for a run that ends: the backup name goes
// back to the previous backup, and the staged files go.
void standDown(PendingJob& job, bool backup) {
  if (job.replacing && backup) {
    giveBackBackupName(job.files, job.backupLeaf, *job.previous);
  }
  job.replacement.reset();
  job.previous.reset();
  letGo(job.staged);
}

}  // namespace

namespace {

// The swapped names are made durable before the batch, and so the run,
// ends: each folder once.
void makeSwapsDurable(const std::vector<std::unique_ptr<PendingJob>>& jobs) {
  std::vector<const JobFiles*> synced;
  for (const auto& job : jobs) {
    if (job->result.road == JobRoad::kReplaced &&
        !folderSynced(synced, job->files)) {
      static_cast<void>(makeNamesDurable(job->files.folder));
      synced.push_back(&job->files);
    }
  }
}

// True when a job of `jobs` that waits to write could change what `job`
// reads or writes.
bool touchesWaiting(const std::vector<std::unique_ptr<PendingJob>>& jobs,
                    const PendingJob& job) {
  const BackupTargets targets = backupTargetsOf(job.files);
  for (const auto& pending : jobs) {
    if (pending->writing && touches(*pending, job, targets)) return true;
  }
  return false;
}

}  // namespace

void JobBatch::commit() {
  {
    try {
      publishAll(jobs_, options_.backup);
    } catch (const std::bad_alloc&) {
      // Too little memory to go on: no file of the batch is touched.
      for (const auto& job : jobs_) {
        if (job->writing) fail(*job, JobWrite::kBackupFailed, ENOMEM);
      }
    }
  }
  bool stopping = false;
  for (const auto& job : jobs_) {
    // A signal that comes during the rewrite ends the run only once its
    // result is handed on.
    const HeldSignals held;
    if (stopping && job->writing) {
      standDown(*job, options_.backup);
      continue;
    }
    if (job->writing) {
      if (rewrite(*job, options_.backup)) {
        job->result.write = JobWrite::kWritten;
      } else {
        fail(*job, JobWrite::kFailed);
        job->result.road = JobRoad::kNone;
      }
    }
    sink_(job->result);
    // One that came meanwhile ends the run after this file: the jobs still
    // waiting write nothing and leave no name behind.
    stopping = stopping || terminationPending();
  }
  makeSwapsDurable(jobs_);
  jobs_.clear();
  writing_ = 0;
  bytes_ = 0;
}

JobResult checkJob(const std::string& path, const RunOptions& options,
                   std::int64_t openSeq, FileBytes& bytes, bool keepTidied) {
  JobResult result;
  result.path = path;
  try {
    JobFiles files;
    errno = 0;
    const ReadResult read = openAndRead(path, files, bytes);
    TextDecision decision =
        decideRead(read, bytes, true, options, openSeq, result);
    result.openCount = decision.openCount;
    if (keepTidied && result.read == JobRead::kOk &&
        result.outcome == TextOutcome::kChanged) {
      result.tidied = std::move(decision.tidied);
    }
  } catch (const std::bad_alloc&) {
    result = JobResult{};
    result.path = path;
    result.read = JobRead::kNoMemory;
    result.osError = ENOMEM;
  }
  return result;
}

void JobBatch::add(const std::string& path, const RunOptions& text,
                   std::int64_t& openSeq) {
  auto job = std::make_unique<PendingJob>(path);
  try {
    errno = 0;  // a refusal that is not the system's leaves none
    ReadResult read = openAndRead(path, job->files, job->original);
    pauseForTest("opened");
    // A waiting job could change what this one reads or writes: let the
    // batch finish first, then read again.
    if (writing_ > 0 &&
        (read != ReadResult::kOk || touchesWaiting(jobs_, *job))) {
      commit();
      job = std::make_unique<PendingJob>(path);
      errno = 0;
      read = openAndRead(path, job->files, job->original);
    }
    runJob(read, job, options_, text, openSeq);
  } catch (const std::bad_alloc&) {
    job->writing = false;
    job->result = JobResult{};
    job->result.path = path;
    job->result.read = JobRead::kNoMemory;
    job->result.osError = ENOMEM;
  }
  if (job->writing) {
    ++writing_;
    bytes_ += job->original.view().size() + job->normalised.size();
  } else {
    // Only its result waits: its file and text are let go now.
    auto done = std::make_unique<PendingJob>(path);
    done->result = std::move(job->result);
    job = std::move(done);
    bytes_ += job->result.path.size() + job->result.faults.size() * 32 +
              job->result.notes.size() * 64;
  }
  jobs_.push_back(std::move(job));
  if (writing_ == 0 || writing_ >= kBatchFiles || bytes_ >= kBatchBytes) {
    commit();
  }
}

}  // namespace tagfmt
