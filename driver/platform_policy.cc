// The file job's platform steps written once over the small system calls of
// system_calls.h: the read, the still-as-read check, the staged file that
// becomes the backup or the replacement, and the two roads' writes.
#include "driver/platform_policy.h"

#include <algorithm>
#include <cerrno>
#include <utility>

#include "driver/platform_io.h"
#include "driver/system_calls.h"

namespace tagfmt {

namespace {

// Closes a handle when the scope ends, on every road out.
class Owned {
 public:
  explicit Owned(NativeHandle handle) : handle_(handle) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() {
    if (handle_ != kNoHandle) sys::close(handle_);
  }
  NativeHandle get() const { return handle_; }
  NativeHandle release() { return std::exchange(handle_, kNoHandle); }
  // Closes now and tells whether the close reported success.
  bool close() { return sys::close(release()); }

 private:
  NativeHandle handle_;
};

// Opens the leaf for reading. A symbolic link there is followed only when
// it belongs to the user running the tool or to the owner of its target,
// so a link planted in a shared folder cannot turn a run on another file.
NativeHandle openLeaf(const JobFiles& job, bool& followsLink) {
  followsLink = false;
  const NativeHandle direct =
      sys::openIn(job.folder, job.leaf, sys::OpenFor::kRead, false);
  if (direct != kNoHandle || errno != ELOOP) return direct;
  sys::NodeStat link;
  if (!sys::statAt(job.folder, job.leaf, false, link) ||
      link.kind != sys::NodeKind::kLink) {
    return kNoHandle;
  }
  Owned target(sys::openIn(job.folder, job.leaf, sys::OpenFor::kRead, true));
  sys::NodeStat opened;
  sys::NodeStat linkAfter;
  if (target.get() == kNoHandle || !sys::statOf(target.get(), opened) ||
      !sys::statAt(job.folder, job.leaf, false, linkAfter) ||
      linkAfter.identity.inode != link.identity.inode ||
      linkAfter.identity.owner != link.identity.owner) {
    return kNoHandle;
  }
  if (link.identity.owner != sys::runningUser() &&
      link.identity.owner != opened.identity.owner) {
    return kNoHandle;
  }
  followsLink = true;
  return target.release();
}

// How closely a file must still match what was read.
enum class Match {
  kStateAndName,  // same size and times, and still under the job's name
  kWrites,        // same size and last write: the job's own links move the
                  // change time, so it is not compared
};

// The open `handle` still shows the file as read (and, for kStateAndName,
// so does its name in the folder); where times cannot tell, the bytes too.
bool stillAsRead(const JobFiles& job, NativeHandle handle,
                 std::string_view read, Match match) {
  sys::NodeStat opened;
  if (!sys::statOf(handle, opened)) return false;
  const FileIdentity& now = opened.identity;
  if (match == Match::kStateAndName) {
    sys::NodeStat named;
    if (!sys::statAt(job.folder, job.leaf, job.followsLink, named) ||
        !sameState(now, job.identity) ||
        !sameFile(named.identity, job.identity)) {
      return false;
    }
  } else if (!sameFile(now, job.identity) || now.size != job.identity.size ||
             now.modifiedNs != job.identity.modifiedNs) {
    return false;
  }
  // `handle` may be open for writing only; the read handle is the same file.
  return !job.identity.recent || holdsBytes(job.file, read);
}

// True when the job's file holds exactly the bytes read: the last check
// before a swap or a rewrite is final, which also sees a change that kept
// the file's times (a shared mapping, a restored modified time).
bool holdsWhatWasRead(const JobFiles& job, std::string_view read) {
  if (!job.hashed) return holdsBytes(job.file, read);
  std::uint64_t now = 0;
  return hashOfFile(job.file, now) && now == job.readHash;
}

// True when `written`, opened for writing, is the job's file copied up from
// a lower layer of an overlay: it holds the name now, with the size, last
// write and bytes that were read.
bool copiedUpAsRead(const JobFiles& job, NativeHandle written,
                    std::string_view read) {
  sys::NodeStat now;
  sys::NodeStat named;
  if (!sys::copiesUp(job.folder) || !sys::statOf(written, now) ||
      !sys::statAt(job.folder, job.leaf, job.followsLink, named) ||
      !sameFile(named.identity, now.identity) ||
      now.identity.size != job.identity.size ||
      now.identity.modifiedNs != job.identity.modifiedNs) {
    return false;
  }
  Owned copy(sys::reopenForReading(written));
  if (copy.get() == kNoHandle) return false;
  if (!job.hashed) return holdsBytes(copy.get(), read);
  std::uint64_t hash = 0;
  return hashOfFile(copy.get(), hash) && hash == job.readHash;
}

// Gives the rewritten file back what its write stripped, then makes its
// bytes durable.
bool keepAndSync(NativeHandle file, const sys::Privileges& kept) {
  sys::restorePrivileges(file, kept);
  return sys::syncFile(file);
}

// A name in the folder that no one else uses, made for one file at a time.
std::string temporaryName(unsigned attempt) {
  return ".tagfmt-" + std::to_string(sys::processId()) + "-" +
         std::to_string(attempt) + ".tmp";
}

void holdFor(StagedFile& staged) {
  if (staged.signalsHeld) return;
  sys::holdSignals();
  staged.signalsHeld = true;
}

void letGoOf(StagedFile& staged) {
  if (!staged.signalsHeld) return;
  staged.signalsHeld = false;
  sys::releaseSignals();
}

// Links the open file under a fresh temporary name; `first` keeps the
// names of a job's two staged files apart.
bool linkUnderTemporaryName(NativeHandle file, NativeHandle folder,
                            unsigned first, std::string& name) {
  for (unsigned attempt = first; attempt < first + 100; ++attempt) {
    name = temporaryName(attempt);
    if (sys::linkUnnamed(file, folder, name)) return true;
    if (errno != EEXIST) break;
  }
  name.clear();
  return false;
}

// True when `leaf` in `folder` names the file `identity`, as a link of its
// own: checked before each step that moves or removes a name, so that no
// file the run did not make is moved or removed.
bool nameHolds(NativeHandle folder, const std::string& leaf,
               const FileIdentity& identity) {
  sys::NodeStat named;
  return sys::statAt(folder, leaf, false, named) &&
         sameFile(named.identity, identity);
}

// Gives the staged file a temporary name and remembers what it names.
bool nameStaged(StagedFile& staged, NativeHandle folder, unsigned first) {
  sys::NodeStat made;
  if (!sys::statOf(staged.file, made) ||
      !linkUnderTemporaryName(staged.file, folder, first,
                              staged.temporaryName)) {
    return false;
  }
  staged.underName = made.identity;
  return true;
}

// Makes an empty owner-only file: with no name where the file system
// allows, else under a fresh temporary name, with signals held meanwhile.
NativeHandle createStaged(NativeHandle folder, StagedFile& staged) {
  const NativeHandle unnamed = sys::createUnnamed(folder);
  if (unnamed != kNoHandle || errno != EOPNOTSUPP) return unnamed;
  holdFor(staged);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = temporaryName(attempt);
    const NativeHandle made = sys::createIn(folder, name);
    sys::NodeStat stat;
    if (made != kNoHandle && sys::statOf(made, stat)) {
      staged.temporaryName = name;
      staged.underName = stat.identity;
      return made;
    }
    if (made != kNoHandle) {
      sys::close(made);
      return kNoHandle;
    }
    if (errno != EEXIST) break;
  }
  return kNoHandle;
}

// Swaps the named replacement in for the job's file, then checks that what
// was swapped out is the file as read; its temporary name then holds it.
bool swapIn(const JobFiles& job, StagedFile& replacement) {
  if (!sys::swapNames(job.folder, replacement.temporaryName, job.leaf)) {
    return false;
  }
  const FileIdentity made = replacement.underName;
  replacement.underName = job.identity;
  if (nameHolds(job.folder, replacement.temporaryName, job.identity)) {
    return true;
  }
  // Another file was swapped out: it goes back unless the name was taken
  // again meanwhile.
  if (nameHolds(job.folder, job.leaf, made)) {
    sys::swapNames(job.folder, replacement.temporaryName, job.leaf);
    replacement.underName = made;
  } else {
    replacement.published = true;  // kept, not the run's to remove
  }
  return false;
}

// Undoes the swap: the old file, changed meanwhile, takes its name back,
// but only while the name still holds the run's new file. An editor's save
// made since keeps the name, and the old file stays under the temporary one.
void swapBack(const JobFiles& job, StagedFile& replacement) {
  sys::NodeStat staged;
  if (sys::statOf(replacement.file, staged) &&
      nameHolds(job.folder, job.leaf, staged.identity) &&
      sys::swapNames(job.folder, replacement.temporaryName, job.leaf)) {
    replacement.underName = staged.identity;
    return;
  }
  replacement.published = true;
}

}  // namespace

void splitPath(std::string_view path, std::string& folder, std::string& leaf) {
  const std::size_t separator = path.find_last_of(pathSeparators());
  const std::size_t leafStart =
      separator == std::string_view::npos ? 0 : separator + 1;
  folder = path.substr(0, leafStart);
  leaf = path.substr(leafStart);
}

JobFiles::~JobFiles() {
  if (file != kNoHandle) sys::close(file);
  if (folder != kNoHandle) sys::close(folder);
}

ReadResult openAndRead(const std::string& path, JobFiles& job,
                       FileBytes& bytes) {
  splitPath(path, job.folderPath, job.leaf);
  if (job.leaf.empty()) return ReadResult::kCannotOpen;
  job.folder = sys::openFolder(job.folderPath);
  sys::NodeStat folder;
  if (job.folder == kNoHandle || !sys::statOf(job.folder, folder)) {
    return ReadResult::kCannotOpen;
  }
  job.folderIdentity = folder.identity;
  job.file = openLeaf(job, job.followsLink);
  sys::NodeStat before;
  if (job.file == kNoHandle || !sys::statOf(job.file, before) ||
      before.kind != sys::NodeKind::kFile) {
    return ReadResult::kCannotOpen;
  }
  job.identity = before.identity;
  job.identity.recent = writtenJustNow(job.identity);
  // A file written just now is checked later against the bytes read, which
  // must then be a copy: a mapping would only show the file as it is.
  sys::NodeStat after;
  if (!sys::readWhole(job.file, job.identity.size, !job.identity.recent,
                      bytes) ||
      !sys::statOf(job.file, after) ||
      !sameState(after.identity, job.identity) ||
      (bytes.view().size() != job.identity.size && !bytes.stoppedAtNul())) {
    return ReadResult::kCannotRead;
  }
  if (bytes.mapped()) {
    ByteHash hash;
    hash.add(bytes.view());
    job.hashed = true;
    job.readHash = hash.value();
  }
  return ReadResult::kOk;
}

bool unchangedSinceRead(const JobFiles& job, std::string_view read) {
  return stillAsRead(job, job.file, read, Match::kStateAndName);
}

bool claimForWriting(const JobFiles& job) {
  return sys::lockFile(job.file) || errno != EWOULDBLOCK;
}

bool leafIsTheFile(const JobFiles& job, const std::string& leaf) {
  FileIdentity identity;
  return identityAt(job, leaf, identity) && sameFile(identity, job.identity);
}

bool identityAt(const JobFiles& job, const std::string& leaf,
                FileIdentity& identity) {
  sys::NodeStat named;
  if (!sys::statAt(job.folder, leaf, true, named)) return false;
  identity = named.identity;
  return true;
}

StagedFile::~StagedFile() { letGo(*this); }

void letGo(StagedFile& staged) {
  if (!staged.published && !staged.temporaryName.empty() &&
      nameHolds(staged.folder, staged.temporaryName, staged.underName)) {
    sys::removeName(staged.folder, staged.temporaryName);
    staged.temporaryName.clear();
  }
  if (staged.file != kNoHandle) {
    sys::close(std::exchange(staged.file, kNoHandle));
  }
  letGoOf(staged);
}

WriteResult stageBackup(const JobFiles& job, std::string_view bytes,
                        StagedFile& staged) {
  staged.folder = job.folder;
  staged.device = job.identity.device;
  staged.file = createStaged(job.folder, staged);
  if (staged.file == kNoHandle) return WriteResult::kCannotOpen;
  if (!sys::giveOwnerAndPermissions(staged.file, job.identity, job.file) ||
      !writeAt(staged.file, bytes, 0)) {
    return WriteResult::kFailed;
  }
  sys::startWriteBack(staged.file);
  return WriteResult::kOk;
}

bool makeDurable(StagedFile& staged) { return sys::syncFile(staged.file); }

bool makeAllDurable(const std::vector<StagedFile*>& batch) {
  if (batch.size() == 1) return makeDurable(*batch.front());
  // One sync of each file system covers every file on it, where the
  // platform has such a sync.
  std::vector<std::uint64_t> synced;
  for (const StagedFile* staged : batch) {
    if (std::find(synced.begin(), synced.end(), staged->device) !=
        synced.end()) {
      continue;
    }
    if (!sys::syncFileSystem(staged->file)) {
      if (errno != ENOSYS) return false;
      return std::all_of(batch.begin(), batch.end(),
                         [](StagedFile* each) { return makeDurable(*each); });
    }
    synced.push_back(staged->device);
  }
  return true;
}

WriteResult publishBackup(StagedFile& staged, const std::string& backupLeaf) {
  if (staged.temporaryName.empty()) {
    holdFor(staged);
    if (!nameStaged(staged, staged.folder, 0)) return WriteResult::kCannotOpen;
  }
  if (!nameHolds(staged.folder, staged.temporaryName, staged.underName) ||
      !sys::renameOver(staged.folder, staged.temporaryName, backupLeaf)) {
    return WriteResult::kCannotOpen;
  }
  staged.published = true;
  letGoOf(staged);
  return WriteResult::kOk;
}

WriteResult keepHidden(StagedFile& staged) {
  if (!staged.temporaryName.empty()) return WriteResult::kOk;
  holdFor(staged);
  return nameStaged(staged, staged.folder, 0) ? WriteResult::kOk
                                              : WriteResult::kCannotOpen;
}

bool makeNamesDurable(NativeHandle folder) { return sys::syncNames(folder); }

// Opens the job's file for writing: the very file that was read, never a
// name looked up again, which a link's owner could have re-pointed at any
// file. Where the platform cannot, by a name that is no link.
NativeHandle openForRewrite(const JobFiles& job) {
  const NativeHandle same = sys::reopenForWriting(job.file);
  if (same != kNoHandle || errno != ENOSYS) return same;
  if (job.followsLink) {
    errno = ELOOP;
    return kNoHandle;
  }
  return sys::openIn(job.folder, job.leaf, sys::OpenFor::kWrite, false);
}

RewriteResult rewriteInPlace(const JobFiles& job, std::string_view read,
                             std::string_view bytes, const StagedFile& backup) {
  pauseForTest("rewrite");
  Owned file(openForRewrite(job));
  if (file.get() == kNoHandle) {
    return errno == ELOOP ? RewriteResult::kChanged
                          : RewriteResult::kCannotOpen;
  }
  sys::holdSignals();
  RewriteResult result = RewriteResult::kOk;
  // The write strips what only the owner or a privileged user gives back.
  sys::Privileges kept;
  if ((!stillAsRead(job, file.get(), read, Match::kStateAndName) &&
       !copiedUpAsRead(job, file.get(), read)) ||
      !holdsWhatWasRead(job, read) || !sys::readPrivileges(job.file, kept)) {
    result = RewriteResult::kChanged;
  } else if (!sys::claimRoom(file.get(), bytes.size(), job.identity.size)) {
    result = RewriteResult::kFailed;
  } else if (!writeAt(file.get(), bytes, 0) ||
             !cutTo(file.get(), bytes.size()) ||
             !keepAndSync(file.get(), kept)) {
    // The read bytes may be a view of this very file, gone by now.
    result =
        restoreFromBackup(file.get(), backup.file) && sys::syncFile(file.get())
            ? RewriteResult::kFailed
            : RewriteResult::kTorn;
  }
  if (!file.close() && result == RewriteResult::kOk) {
    result = RewriteResult::kFailed;
  }
  sys::releaseSignals();
  return result;
}

void giveBackBackupName(const JobFiles& job, const std::string& backupLeaf,
                        StagedFile& previous) {
  if (!nameHolds(job.folder, backupLeaf, job.identity)) {
    // Another program took the backup name: the previous backup stays
    // under its temporary name rather than be lost.
    previous.published = !previous.temporaryName.empty();
    return;
  }
  if (!previous.temporaryName.empty() &&
      nameHolds(job.folder, previous.temporaryName, previous.underName) &&
      sys::swapNames(job.folder, previous.temporaryName, backupLeaf)) {
    previous.underName = job.identity;
    return;
  }
  sys::removeName(job.folder, backupLeaf);
}

bool terminationPending() { return sys::signalPending(); }

HeldSignals::HeldSignals() { sys::holdSignals(); }
HeldSignals::~HeldSignals() { sys::releaseSignals(); }

bool mayReplace(const JobFiles& job) {
  sys::NodeStat file;
  return !job.followsLink && sys::statOf(job.file, file) &&
         file.kind == sys::NodeKind::kFile && file.links == 1 &&
         !sys::hasFileFlags(job.file) && sys::swapsNames(job.folder);
}

WriteResult stageReplacement(const JobFiles& job, std::string_view bytes,
                             StagedFile& staged) {
  staged.folder = job.folder;
  staged.device = job.identity.device;
  staged.file = sys::createUnnamed(job.folder);
  if (staged.file == kNoHandle) return WriteResult::kCannotOpen;
  // Written first: a write strips setuid, setgid and the file capability,
  // and the owner's change strips them too, so they come last.
  if (!sys::claimRoom(staged.file, bytes.size(), 0) ||
      !writeAt(staged.file, bytes, 0)) {
    return WriteResult::kFailed;
  }
  if (!sys::giveWholeIdentity(staged.file, job.file)) {
    return WriteResult::kCannotOpen;
  }
  sys::startWriteBack(staged.file);
  return WriteResult::kOk;
}

WriteResult linkAsBackup(JobFiles& job, const std::string& backupLeaf,
                         StagedFile& previous) {
  previous.folder = job.folder;
  holdFor(previous);
  std::string linked;
  if (!linkUnderTemporaryName(job.file, job.folder, 100, linked)) {
    return WriteResult::kCannotOpen;
  }
  sys::NodeStat named;
  bool placed = false;
  if (!sys::statAt(job.folder, backupLeaf, false, named)) {
    placed = errno == ENOENT && sys::renameNew(job.folder, linked, backupLeaf);
    if (placed) linked.clear();
  } else if (named.kind != sys::NodeKind::kFolder &&
             nameHolds(job.folder, linked, job.identity)) {
    // The previous backup waits under the temporary name until the end.
    placed = sys::swapNames(job.folder, linked, backupLeaf);
  }
  if (!placed) {
    if (nameHolds(job.folder, linked, job.identity)) {
      sys::removeName(job.folder, linked);
    }
    return WriteResult::kCannotOpen;
  }
  previous.temporaryName = linked;
  previous.underName = named.identity;
  return WriteResult::kOk;
}

RewriteResult replaceFile(JobFiles& job, std::string_view read,
                          StagedFile& replacement, StagedFile& previous,
                          const std::string& backupLeaf) {
  holdFor(replacement);
  pauseForTest("rewrite");
  RewriteResult result = RewriteResult::kOk;
  // The temporary name is removed when the staging goes, if it still names
  // what the run left there.
  const bool named = nameStaged(replacement, job.folder, 100);
  if (named && (!stillAsRead(job, job.file, read, Match::kWrites) ||
                !leafIsTheFile(job, job.leaf))) {
    result = RewriteResult::kChanged;
  } else if (!named || !swapIn(job, replacement)) {
    result = RewriteResult::kFailed;
  } else if (!stillAsRead(job, job.file, read, Match::kWrites) ||
             !holdsWhatWasRead(job, read)) {
    result = RewriteResult::kChanged;
    swapBack(job, replacement);
  }
  if (result != RewriteResult::kOk && !backupLeaf.empty()) {
    giveBackBackupName(job, backupLeaf, previous);
  }
  return result;
}

}  // namespace tagfmt
