// The file job: read a file, format it, and back it up and rewrite it when it
// changed and nests soundly. Jobs that rewrite wait in a batch, so that one
// sync makes all of their backups durable; what they say waits with them.
#include <cstdio>
#include <new>

#include "driver/driver.h"
#include "driver/platform.h"
#include "format/decision.h"
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

// One file's job from its read to its rewrite, with what it has to say.
struct PendingJob {
  PendingJob(const std::string& name, const FileReport& caller)
      : path(name), report(caller), destination(caller.capture) {
    report.capture = &held;
  }

  std::string path;
  FileReport report;         // says everything into `held`
  std::string* destination;  // where `held` goes; standard output if null
  std::string held;
  JobFiles files;
  FileBytes original;
  std::string normalised;
  std::string backupLeaf;
  bool hadBackup = false;  // something had the backup's name when staged
  FileIdentity previousBackup;
  StagedBackup staged;
  bool writing = false;  // staged, waiting for the batch
};

JobBatch::JobBatch() = default;
JobBatch::~JobBatch() = default;

namespace {

void sayCannotRead(FileReport& report) { report.sayDirect("-> cannot read\n"); }

// A batch holds at most this many rewrites and bytes of text.
constexpr std::size_t kBatchFiles = 64;
constexpr std::size_t kBatchBytes = std::size_t{64} << 20;

// Prints what the job said so far, in the order it said it.
void emit(PendingJob& job) {
  if (job.destination != nullptr) {
    job.destination->append(job.held);
  } else {
    std::fwrite(job.held.data(), 1, job.held.size(), stdout);
  }
  job.held.clear();
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

// Writes the backup under no name yet, or says why not. True when it waits
// for the batch.
bool stage(PendingJob& job) {
  FileReport& report = job.report;
  report.showName();
  if (!chooseBackupLeaf(job.files, job.backupLeaf) ||
      !unchangedSinceRead(job.files, job.original.view())) {
    report.say("-> failed\n");
    return false;
  }
  job.hadBackup = identityAt(job.files, job.backupLeaf, job.previousBackup);
  const WriteResult result =
      stageBackup(job.files, job.original.view(), job.staged);
  // Cut short while the backup was written from a mapping: the backup may
  // hold zero bytes that were never in the file, and is dropped unnamed.
  if (!job.original.intact()) {
    sayCannotRead(report);
    return false;
  }
  if (result == WriteResult::kCannotOpen) {
    report.say("-> failed\n");
    return false;
  }
  if (result != WriteResult::kOk) {
    report.say("   writing " + job.files.folderPath + job.backupLeaf + "\n");
    report.say("-> failed\n");
    return false;
  }
  return true;
}

// Formats and compares what was read; stages the backup when the file
// changed.
void runJob(ReadResult read, PendingJob& job, const RunOptions& options,
            std::int64_t& openSeq) {
  FileReport& report = job.report;
  if (read == ReadResult::kCannotOpen) {
    report.sayDirect("-> cannot open\n");
    return;
  }
  if (read == ReadResult::kCannotRead) {
    sayCannotRead(report);
    return;
  }
  const std::string_view original = job.original.view();
  std::string room;
  if (original.size() >= kMapThreshold) {
    reserveForText(room, formatRoom(original.size()));
  }
  TextDecision decision =
      decideText(original, options, openSeq, std::move(room));
  openSeq += decision.openCount;
  // A mapped file cut short reads as zero bytes past the cut: nothing found
  // in it may be said or written.
  if (!job.original.intact()) {
    sayCannotRead(report);
    return;
  }
  switch (decision.outcome) {
    case TextOutcome::kHasNul:
      report.say(kHasNulMessage);
      return;
    case TextOutcome::kFaults:
      sayFaults(decision.faults, report);
      return;
    case TextOutcome::kTooLarge:
      report.sayDirect(kNoMemoryMessage);
      return;
    case TextOutcome::kTidy:
      return;
    case TextOutcome::kChanged:
      break;
  }
  job.normalised = std::move(decision.tidied);
  pauseForTest("read");
  job.writing = stage(job);
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

bool touchesAny(const JobBatch& batch, const PendingJob& job) {
  const BackupTargets targets = backupTargetsOf(job.files);
  for (const auto& pending : batch.jobs) {
    if (pending->writing && touches(*pending, job, targets)) return true;
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

// Publishes every staged backup of the batch once all are durable; a job
// whose backup cannot take its name, or whose name is not durable, stops.
void publishAll(JobBatch& batch) {
  std::vector<StagedBackup*> staged;
  for (const auto& job : batch.jobs) {
    if (job->writing) staged.push_back(&job->staged);
  }
  const bool durable = staged.empty() || makeAllDurable(staged);
  std::vector<const JobFiles*> folders;
  for (const auto& job : batch.jobs) {
    if (!job->writing) continue;
    if (durable && publishBackup(job->staged, job->backupLeaf) ==
                       WriteResult::kCannotOpen) {
      job->report.say("-> failed\n");
      job->writing = false;
      continue;
    }
    job->report.say("   writing " + job->files.folderPath + job->backupLeaf +
                    "\n");
    const bool folderDone = folderSynced(folders, job->files);
    if (!durable || (!folderDone && !makeNamesDurable(job->files.folder))) {
      job->report.say("-> failed\n");
      job->writing = false;
    } else if (!folderDone) {
      folders.push_back(&job->files);
    }
  }
}

}  // namespace

void commitBatch(JobBatch& batch) {
  try {
    publishAll(batch);
  } catch (const std::bad_alloc&) {
    // Too little memory to say more: no file of the batch is touched.
    for (const auto& job : batch.jobs) job->writing = false;
  }
  for (const auto& job : batch.jobs) {
    if (job->writing) {
      job->report.say("   writing " + job->path + "\n");
      // Said before the rewrite, as a held signal may end the run after it.
      emit(*job);
      if (rewriteInPlace(job->files, job->original.view(), job->normalised,
                         job->staged) != RewriteResult::kOk) {
        job->report.say("-> failed\n");
      }
    }
    emit(*job);
  }
  batch.jobs.clear();
  batch.writing = 0;
  batch.bytes = 0;
}

void processFileInBatch(const std::string& path, const RunOptions& options,
                        std::int64_t& openSeq, const FileReport& report,
                        JobBatch& batch) {
  auto job = std::make_unique<PendingJob>(path, report);
  try {
    ReadResult read = openAndRead(path, job->files, job->original);
    pauseForTest("opened");
    // A waiting job could change what this one reads or writes: let the
    // batch finish first, then read again.
    if (batch.writing > 0 &&
        (read != ReadResult::kOk || touchesAny(batch, *job))) {
      commitBatch(batch);
      job = std::make_unique<PendingJob>(path, report);
      read = openAndRead(path, job->files, job->original);
    }
    runJob(read, *job, options, openSeq);
  } catch (const std::bad_alloc&) {
    job->writing = false;
    job->report.sayDirect("-> no memory\n");
  }
  if (job->writing) {
    ++batch.writing;
    batch.bytes += job->original.view().size() + job->normalised.size();
  } else {
    // Only its messages wait: its file and text are let go now.
    auto done = std::make_unique<PendingJob>(path, report);
    done->held = std::move(job->held);
    job = std::move(done);
    batch.bytes += job->held.size();
  }
  batch.jobs.push_back(std::move(job));
  if (batch.writing == 0 || batch.writing >= kBatchFiles ||
      batch.bytes >= kBatchBytes) {
    commitBatch(batch);
  }
}

void processFile(const std::string& path, const RunOptions& options,
                 std::int64_t& openSeq, FileReport& report) {
  JobBatch batch;
  processFileInBatch(path, options, openSeq, report, batch);
  commitBatch(batch);
}

}  // namespace tagfmt
