// The platform steps of the file job: read, stage, publish, rewrite. Written
// once in platform_policy.cc over system_calls.h, for every platform.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_bytes.h"

namespace tagfmt {

// What the file job remembers of the file it read, to know it again later.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;  // last write, nanoseconds since the epoch
  std::int64_t changedNs = 0;   // last change of data or metadata
  unsigned permissions = 0;
  std::uint32_t owner = 0;
  std::uint32_t group = 0;
  // Written so shortly before the read that a later write could carry the
  // same times; the bytes themselves are then compared too.
  bool recent = false;
};

// True when the two name the same file: same device and inode.
inline bool sameFile(const FileIdentity& a, const FileIdentity& b) {
  return a.device == b.device && a.inode == b.inode;
}

// True when the two describe the same file in the same state: also the same
// size and the same times of last write and change.
inline bool sameState(const FileIdentity& a, const FileIdentity& b) {
  return sameFile(a, b) && a.size == b.size && a.modifiedNs == b.modifiedNs &&
         a.changedNs == b.changedNs;
}

// An open file or folder: a descriptor on POSIX, a HANDLE on Windows.
using NativeHandle = std::intptr_t;
inline constexpr NativeHandle kNoHandle = -1;

// The folder a job works in and the file it read, held open from the read
// to the end of the job, so that every step acts on that folder and file
// however the path is changed meanwhile. Closes both when it goes.
struct JobFiles {
  JobFiles() = default;
  ~JobFiles();
  JobFiles(const JobFiles&) = delete;
  JobFiles& operator=(const JobFiles&) = delete;

  NativeHandle folder = kNoHandle;
  NativeHandle file = kNoHandle;  // opened for reading
  std::string folderPath;         // the path's folder part, as given
  std::string leaf;               // the file's name within the folder
  bool followsLink = false;       // the name is a link the tool may follow
  FileIdentity identity;
  FileIdentity folderIdentity;  // device and inode only
  // A mapped file's bytes as read are a view of the file itself: their hash,
  // taken at the read, stands for them in the last check.
  bool hashed = false;
  std::uint64_t readHash = 0;
};

enum class ReadResult { kOk, kCannotOpen, kCannotRead };

// Step 1: opens the folder of `path` once, then the file within it, and
// reads the file whole into `bytes` (a large file that was not written just
// now is mapped rather than copied). A name that is not a regular file, or a
// symbolic link owned neither by the user running the tool nor by the owner
// of the file it points at, is refused as kCannotOpen without blocking;
// a file that changes while it is read is kCannotRead.
ReadResult openAndRead(const std::string& path, JobFiles& job,
                       FileBytes& bytes);

// True when the job's file still holds exactly `read`, the bytes read in
// step 1: same size and times, and, where times cannot tell, same bytes.
bool unchangedSinceRead(const JobFiles& job, std::string_view read);

// True when `leaf` in the job's folder names the job's file itself.
bool leafIsTheFile(const JobFiles& job, const std::string& leaf);

// The device and inode of what `leaf` in the job's folder names, following
// links; false when nothing does.
bool identityAt(const JobFiles& job, const std::string& leaf,
                FileIdentity& identity);

// Takes the job's file for this run's job alone until the job ends, so two
// runs never rewrite one file at once. False when another run's job holds
// it; true where the file system keeps no such locks.
bool claimForWriting(const JobFiles& job);

enum class RepairResult {
  kClear,     // nothing a dead run left stands in the job's way
  kRestored,  // the file, torn by a dead run, holds its old bytes again
  kTorn,      // the file is neither what a dead run read nor what it wrote,
              // and that run's copy of the old bytes is beside it: left as is
};

// The text the run makes of a file's bytes, to know a dead run's rewrite.
using TidyText = std::function<std::string(std::string_view)>;

// Before the job's first write, with its file claimed: finds what a run that
// died left beside the file (its temporary names record the file they were
// for and what they are) and puts it right, as an interrupted database does
// on its next open. A name whose run still lives, or whose meaning is not
// certain, is left alone. The job's identity is brought up to date when a
// name of the file itself was removed. `backupLeaf` is a name the backup
// may have; `read` is what the job read.
// True when a temporary name for the job's file is in its folder: only then
// is repairLeftovers needed by a job that writes nothing.
// Folders are listed once a run: a run starts by forgetting the listings
// of any run before it in the same process.
bool leftoversBeside(const JobFiles& job);
void forgetListings();

RepairResult repairLeftovers(JobFiles& job, std::string_view read,
                             const std::string& backupLeaf,
                             const TidyText& tidy);

enum class WriteResult {
  kOk,
  kCannotOpen,  // nothing was written
  kFailed,      // writing began but did not complete
};

// A file being made, the backup or the replacement: written under no name or
// one no one else uses until it is published under its own. Removes whatever
// it wrote unless published, and closes its file, when it goes.
struct StagedFile {
  StagedFile() = default;
  ~StagedFile();
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  NativeHandle folder = kNoHandle;  // the job's, not owned
  NativeHandle file = kNoHandle;
  std::uint64_t device = 0;   // of the file system it is on
  std::string temporaryName;  // empty while the file has no name
  // Starts each temporary name: which page's job made it (repairLeftovers).
  std::string nameStem;
  // What the run left under the temporary name: only that is removed.
  FileIdentity underName;
  bool published = false;
  bool signalsHeld = false;  // held while a temporary name exists
};

// Step 2: writes `bytes` to a new file in the job's folder under no name or a
// unique temporary one, readable by its owner only, then gives it the file's
// owner and group where the tool may, and the file's permissions (without
// those for a group it could not give). kCannotOpen when no file could be
// made, kFailed when writing failed; nothing is left behind then.
WriteResult stageBackup(const JobFiles& job, std::string_view bytes,
                        StagedFile& staged);

// Step 3: puts the staged backup's bytes on stable storage. False on an
// error, after which it must not be published.
bool makeDurable(StagedFile& staged);

// Step 3 for a batch: puts the bytes of every staged backup in `batch` on
// stable storage with as few full syncs as the platform allows (one per
// file system where one sync covers them all). False on any error, after
// which none of them may be published.
bool makeAllDurable(const std::vector<StagedFile*>& batch);

// Step 4: gives the staged backup the name `backupLeaf` in the job's folder,
// atomically replacing whatever had that name (a link there is replaced,
// never followed). kCannotOpen when the name cannot take it; the previous
// backup is then left as it was. The name is durable only after
// makeNamesDurable.
WriteResult publishBackup(StagedFile& staged, const std::string& backupLeaf);

// Step 4 in place: names the staged copy of the old bytes (once published,
// the backup a second time) under a hidden temporary name in the job's
// folder, so that a crash during the rewrite leaves them on disk and marked;
// durable only after makeNamesDurable. The name goes with the staged file.
// kCannotOpen when the folder takes no name. The name records a hash of
// `newText`, so that a later run can tell a rewrite that was whole.
WriteResult keepHidden(StagedFile& staged, std::string_view newText);

// Lets go of the staged file now, as its end would: removes its temporary
// name unless published, closes it, and lets signals through.
void letGo(StagedFile& staged);

// Step 4, end: puts the names given in the folder `folder` on stable
// storage. False on an error.
bool makeNamesDurable(NativeHandle folder);

enum class RewriteResult {
  kOk,
  kChanged,     // the file no longer holds what was read; nothing written
  kCannotOpen,  // the file cannot be opened for writing; nothing written
  kFailed,      // writing failed; the old bytes were put back
  kTorn,        // writing failed, and so did putting the old bytes back
};

// Step 5: rewrites the job's file in place with `bytes`, so its owner,
// permissions and links stay, and makes the new bytes durable. Termination
// signals are held from just before the last check that it still holds `read`
// until it is whole, then let through. Room is claimed first where the platform
// allows, so a full disk leaves the file as it was; a write that fails part-way
// is undone with the bytes of the published backup `backup`.
RewriteResult rewriteInPlace(const JobFiles& job, std::string_view read,
                             std::string_view bytes, const StagedFile& backup);

// Makes a write past the process's file-size limit fail (EFBIG) rather
// than end the program, so the job that hit it can undo it and the run go on.
void ignoreFileSizeLimit();

// True when a termination signal came while held: the run then ends once
// the file at hand is whole.
bool terminationPending();

// Termination signals (Ctrl+C and its kin) wait while one of these lives;
// one that came meanwhile takes effect when the last hold goes, after
// standard output is flushed. Holds nest.
class HeldSignals {
 public:
  HeldSignals();
  ~HeldSignals();
  HeldSignals(const HeldSignals&) = delete;
  HeldSignals& operator=(const HeldSignals&) = delete;
};

// The replace road, taken where it keeps everything the file is: the new
// text goes to a new file given the old one's identity, the old file itself
// becomes the backup, and the new one takes the name in one atomic swap.

// True when the job's file can be replaced so: a regular file with one
// link, not reached through a symbolic link, with no file flags set, on a
// file system that swaps two names atomically.
bool mayReplace(const JobFiles& job);

// Writes `bytes` to a new unnamed file in the job's folder and gives it the
// file's owner, group, extended attributes (ACL and security labels among
// them) and mode. kCannotOpen when no such file can be made, or when it
// cannot be given all of that: the in-place road is then taken. kFailed
// when writing failed. Nothing is left behind on failure.
WriteResult stageReplacement(const JobFiles& job, std::string_view bytes,
                             StagedFile& staged);

// Makes the job's file itself the backup: links it under `backupLeaf`,
// keeping whatever had that name under a temporary name in `previous`
// until the replace ends. kCannotOpen when the name cannot take it, with
// everything as it was. The name is durable only after makeNamesDurable.
WriteResult linkAsBackup(JobFiles& job, const std::string& backupLeaf,
                         StagedFile& previous);

// Swaps the staged new file in for the job's file, then checks that the
// old file still holds `read`. If it was changed, the swap is undone and
// the backup name (when `backupLeaf` is not empty) given back to what it
// named before, or removed: it never stays a second name of the live file.
// Termination signals are held throughout.
RewriteResult replaceFile(JobFiles& job, std::string_view read,
                          StagedFile& replacement, StagedFile& previous,
                          const std::string& backupLeaf);

// Gives the backup name back to what it named before linkAsBackup, or
// removes it, for a replace that will not happen.
void giveBackBackupName(const JobFiles& job, const std::string& backupLeaf,
                        StagedFile& previous);

// The separators that end a directory part in file names here.
std::string_view pathSeparators();

// The program's arguments as byte strings. On Windows they are taken from
// the wide command line and held in UTF-8, so that any file name survives
// the trip to the file calls, which turn it back into UTF-16.
std::vector<std::string> programArguments(int argumentCount, char** arguments);

// Puts standard output in binary mode, so every message ends in a bare LF on
// every platform.
void useBinaryStandardOutput();

// In test builds only: stops the process at the named step so a test can
// change the files under it. The tool as shipped has no such stop.
#ifdef TAGFMT_TEST_SEAMS
void pauseForTest(const char* step);
#else
inline void pauseForTest(const char* /*step*/) {}
#endif

}  // namespace tagfmt
