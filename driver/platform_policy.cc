// The file job's platform steps written once over the small system calls of
// system_calls.h: the read, the still-as-read check, the staged file that
// becomes the backup or the replacement, and the two roads' writes.
#include "driver/platform_policy.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

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

std::string hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text(16, '0');
  for (std::size_t at = text.size(); at-- > 0; value >>= 4) {
    text[at] = kDigits[value & 15];
  }
  return text;
}

// How every temporary name for the page named `leaf` starts.
std::string leafMark(const std::string& leaf) {
  ByteHash hash;
  hash.add(leaf);
  return ".tagfmt-" + hex(hash.value()) + "-";
}

// The stem of the job's temporary names: its page's name hashed, then the
// page as read (inode, size, last write), so a later run knows them.
std::string stemFor(const JobFiles& job) {
  return leafMark(job.leaf) + std::to_string(job.identity.inode) + "-" +
         std::to_string(job.identity.size) + "-" +
         std::to_string(job.identity.modifiedNs) + "-";
}

// A name in the folder that no one else uses: the job's stem, what the file
// is (`role`), and this process.
std::string temporaryName(const std::string& stem, const std::string& role,
                          unsigned attempt) {
  return stem + role + "-" + std::to_string(sys::processId()) + "-" +
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

// Links the open file under a fresh temporary name saying what it is.
bool linkUnderTemporaryName(NativeHandle file, NativeHandle folder,
                            const std::string& stem, const std::string& role,
                            std::string& name) {
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = temporaryName(stem, role, attempt);
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
bool nameStaged(StagedFile& staged, NativeHandle folder,
                const std::string& role) {
  sys::NodeStat made;
  if (!sys::statOf(staged.file, made) ||
      !linkUnderTemporaryName(staged.file, folder, staged.nameStem, role,
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
    const std::string name = temporaryName(staged.nameStem, "b", attempt);
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

bool readAll(NativeHandle file, std::string& bytes) {
  std::uint64_t size = 0;
  if (!lengthOf(file, size) || size > bytes.max_size()) return false;
  bytes.assign(static_cast<std::size_t>(size), '\0');
  return readAt(file, bytes.data(), bytes.size(), 0);
}

// True when `error` says the file system gives a file no second name (FAT),
// or no more of them.
bool takesNoSecondName(int error) {
  return error == EPERM || error == EMLINK || error == EOPNOTSUPP ||
         error == ENOSYS;
}

// Moves `staged` off the published backup onto a durable copy of its bytes
// under a temporary name of its own, where the backup can have no second.
bool stageCopyToHide(StagedFile& staged) {
  StagedFile copy;
  copy.folder = staged.folder;
  copy.device = staged.device;
  copy.nameStem = staged.nameStem;
  copy.file = createStaged(staged.folder, copy);
  std::string bytes;
  if (copy.file == kNoHandle || copy.temporaryName.empty() ||
      !readAll(staged.file, bytes) || !writeAt(copy.file, bytes, 0) ||
      !sys::syncFile(copy.file)) {
    return false;
  }
  sys::close(std::exchange(staged.file, std::exchange(copy.file, kNoHandle)));
  staged.temporaryName = std::exchange(copy.temporaryName, {});
  staged.underName = copy.underName;
  return true;
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
#ifdef _WIN32
  // A drive's colon ends a folder part too: "C:page.htm" is page.htm in
  // the current folder of drive C, and a name never holds a stream.
  const std::size_t separator = path.find_last_of("/\\:");
#else
  const std::size_t separator = path.find_last_of(pathSeparators());
#endif
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
  staged.nameStem = stemFor(job);
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
    if (!nameStaged(staged, staged.folder, "b")) {
      return WriteResult::kCannotOpen;
    }
  }
  if (!nameHolds(staged.folder, staged.temporaryName, staged.underName) ||
      !sys::renameOver(staged.folder, staged.temporaryName, backupLeaf)) {
    return WriteResult::kCannotOpen;
  }
  staged.published = true;
  letGoOf(staged);
  return WriteResult::kOk;
}

WriteResult keepHidden(StagedFile& staged, std::string_view newText) {
  ByteHash hash;
  hash.add(newText);
  const std::string role = "o" + hex(hash.value());
  holdFor(staged);
  if (staged.published) {
    // Published as the backup: the hidden name is a second one, removed
    // when the staging goes.
    staged.published = false;
    staged.temporaryName.clear();
  }
  if (staged.temporaryName.empty()) {
    if (nameStaged(staged, staged.folder, role)) return WriteResult::kOk;
    if (!takesNoSecondName(errno) || !stageCopyToHide(staged)) {
      return WriteResult::kCannotOpen;
    }
  }
  // Named when it was made: renamed now that its bytes are whole and
  // durable, so that the name says so.
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = temporaryName(staged.nameStem, role, attempt);
    if (nameHolds(staged.folder, staged.temporaryName, staged.underName) &&
        sys::renameNew(staged.folder, staged.temporaryName, name)) {
      staged.temporaryName = name;
      return WriteResult::kOk;
    }
    if (errno != EEXIST) break;
  }
  return WriteResult::kCannotOpen;
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
  staged.nameStem = stemFor(job);
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
  if (!linkUnderTemporaryName(job.file, job.folder, stemFor(job), "l",
                              linked)) {
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
  const bool named = nameStaged(replacement, job.folder, "n");
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

// What a dead run left: its temporary names say which page's job made them
// (stemFor) and what each is, so that each is put right only as its meaning
// on disk makes certain, never by a guess.
namespace {

// A temporary name's parts: the page as its job read it, and its role:
// 'l' the page's second name, then the previous backup (linkAsBackup); 'n'
// the replacement, then the swapped-out page (replaceFile); 'b' a copy of
// the old bytes not yet a backup; 'o' the hidden copy of the old bytes,
// with the new text's hash (keepHidden).
struct Leftover {
  std::string name;
  std::uint64_t page = 0;
  std::uint64_t size = 0;
  std::int64_t modifiedNs = 0;
  char role = 0;
  std::uint64_t textHash = 0;
};

// Reads a number and the '-' after it from the front of `text`.
template <typename Number>
bool takeNumber(std::string_view& text, Number& value, int base = 10) {
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (error != std::errc() || end == text.data() ||
      end == text.data() + text.size() || *end != '-') {
    return false;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()) + 1);
  return true;
}

bool parseLeftover(const std::string& name, const std::string& mark,
                   Leftover& left) {
  if (!name.starts_with(mark) || !name.ends_with(".tmp")) return false;
  std::string_view text(name);
  text.remove_prefix(mark.size());
  if (!takeNumber(text, left.page) || !takeNumber(text, left.size) ||
      !takeNumber(text, left.modifiedNs) || text.empty()) {
    return false;
  }
  left.role = text.front();
  text.remove_prefix(1);
  if (left.role == 'o') return takeNumber(text, left.textHash, 16);
  return std::string_view("lnb").find(left.role) != std::string_view::npos &&
         text.starts_with('-');
}

// Opens a file in the folder that is the page `inode` and takes its lock:
// the run whose job read that page held the lock until its end, so taking
// it means that run is gone. kNoHandle when it is held, or when no name
// holds the page and nothing is certain.
NativeHandle lockPage(const JobFiles& job, std::uint64_t inode,
                      const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    sys::NodeStat named;
    if (!sys::statAt(job.folder, name, false, named) ||
        named.kind != sys::NodeKind::kFile || named.identity.inode != inode ||
        named.identity.device != job.identity.device) {
      continue;
    }
    Owned page(sys::openIn(job.folder, name, sys::OpenFor::kRead, false));
    sys::NodeStat opened;
    if (page.get() == kNoHandle || !sys::statOf(page.get(), opened) ||
        opened.identity.inode != inode) {
      continue;
    }
    return sys::lockFile(page.get()) ? page.release() : kNoHandle;
  }
  return kNoHandle;
}

// What the names that matter hold now.
struct Scene {
  sys::NodeStat left;       // the leftover
  bool leftIsPage = false;  // the leftover is a name of the page it was for
  bool pageIsIt = false;    // the job's file is that page
  bool backupIsIt = false;  // the backup name is that page
  sys::NodeStat backup;
};

bool removeIfHolds(NativeHandle folder, const std::string& leaf,
                   const FileIdentity& identity) {
  return nameHolds(folder, leaf, identity) && sys::removeName(folder, leaf);
}

// A dead replace's link of its page, or the previous backup it kept: given
// back to the backup name while that is only a second name of the page.
bool repairLink(const JobFiles& job, const std::string& backupLeaf,
                const Leftover& left, const Scene& scene) {
  if (scene.leftIsPage) {
    return (scene.pageIsIt || scene.backupIsIt) &&
           removeIfHolds(job.folder, left.name, scene.left.identity);
  }
  if (!scene.backupIsIt) return false;
  if (!scene.pageIsIt) {
    // The page was replaced: the backup name holds its old bytes.
    return removeIfHolds(job.folder, left.name, scene.left.identity);
  }
  return nameHolds(job.folder, left.name, scene.left.identity) &&
         nameHolds(job.folder, backupLeaf, scene.backup.identity) &&
         sys::swapNames(job.folder, left.name, backupLeaf) &&
         removeIfHolds(job.folder, left.name, scene.backup.identity);
}

// A dead replace's new file, or the old page it swapped out: the old page
// goes where the backup keeps it, or where it is as its job read it and
// has no other name (a run without backup drops it).
bool repairReplacement(const JobFiles& job, const Leftover& left,
                       const Scene& scene) {
  const FileIdentity& held = scene.left.identity;
  if (!scene.leftIsPage) {
    return scene.pageIsIt && removeIfHolds(job.folder, left.name, held);
  }
  const bool asRead = scene.left.links == 1 && held.size == left.size &&
                      held.modifiedNs == left.modifiedNs;
  return !scene.pageIsIt && (scene.backupIsIt || asRead) &&
         removeIfHolds(job.folder, left.name, held);
}

// Reads all of `file`'s bytes, NUL bytes too.
// True when `page` is what a write of `written` over `old` leaves when cut
// short: each byte is the old one or the new one (or, past the old end, a
// zero not yet written back), and its length lies between theirs.
bool tornBetween(std::string_view page, std::string_view old,
                 std::string_view written) {
  if (page.size() < std::min(old.size(), written.size()) ||
      page.size() > std::max(old.size(), written.size())) {
    return false;
  }
  for (std::size_t at = 0; at < page.size(); ++at) {
    const bool fromOld = at < old.size() ? page[at] == old[at] : page[at] == 0;
    if (!fromOld && (at >= written.size() || page[at] != written[at])) {
      return false;
    }
  }
  return true;
}

// Puts the copy's old bytes back over a page torn by a dead rewrite, when
// that is certain: the text `tidy` makes of them is the one the dead run
// wrote (its hash is in the copy's name), and the page is torn between
// the two.
RepairResult restoreTorn(const JobFiles& job, const Leftover& left,
                         NativeHandle copy, const TidyText& tidy) {
  // Read whole, past any NUL byte a torn write may have left.
  std::string old;
  std::string torn;
  if (!readAll(copy, old) || !readAll(job.file, torn)) {
    return RepairResult::kTorn;
  }
  const std::string written = tidy(old);
  ByteHash hash;
  hash.add(written);
  if (hash.value() != left.textHash || !tornBetween(torn, old, written)) {
    return RepairResult::kTorn;
  }
  const HeldSignals held;
  Owned page(openForRewrite(job));
  if (page.get() == kNoHandle ||
      !stillAsRead(job, page.get(), torn, Match::kWrites) ||
      !restoreFromBackup(page.get(), copy) || !sys::syncFile(page.get())) {
    return RepairResult::kTorn;
  }
  return RepairResult::kRestored;
}

// The hidden copy of a dead rewrite in place: it goes when the page is
// whole, as read before or as written, or once a torn page is restored from
// it; a page changed otherwise is left with it for the user.
RepairResult repairHidden(const JobFiles& job, std::string_view read,
                          const Leftover& left, const Scene& scene,
                          const TidyText& tidy) {
  if (!scene.pageIsIt) return RepairResult::kClear;
  ByteHash page;
  page.add(read);
  Owned copy(sys::openIn(job.folder, left.name, sys::OpenFor::kRead, false));
  RepairResult result = RepairResult::kClear;
  if (page.value() != left.textHash &&
      (copy.get() == kNoHandle || !holdsBytes(copy.get(), read))) {
    if (copy.get() == kNoHandle) return RepairResult::kTorn;
    result = restoreTorn(job, left, copy.get(), tidy);
    if (result == RepairResult::kTorn) return result;
  }
  removeIfHolds(job.folder, left.name, scene.left.identity);
  return result;
}

// Puts right one leftover of a dead run; `touched` when names changed.
RepairResult repairOne(const JobFiles& job, std::string_view read,
                       const std::string& backupLeaf, const Leftover& left,
                       const TidyText& tidy, bool& touched) {
  Scene scene;
  if (!sys::statAt(job.folder, left.name, false, scene.left) ||
      scene.left.kind != sys::NodeKind::kFile) {
    return RepairResult::kClear;
  }
  scene.leftIsPage = scene.left.identity.inode == left.page;
  scene.pageIsIt = job.identity.inode == left.page;
  scene.backupIsIt = !backupLeaf.empty() &&
                     sys::statAt(job.folder, backupLeaf, false, scene.backup) &&
                     scene.backup.kind == sys::NodeKind::kFile &&
                     scene.backup.identity.inode == left.page;
  bool changed = false;
  switch (left.role) {
    case 'l':
      changed = repairLink(job, backupLeaf, left, scene);
      break;
    case 'n':
      changed = repairReplacement(job, left, scene);
      break;
    case 'b':
      // Never more than a copy: the page is untouched while it has this name.
      changed = removeIfHolds(job.folder, left.name, scene.left.identity);
      break;
    default:
      return repairHidden(job, read, left, scene, tidy);
  }
  touched = touched || changed;
  return RepairResult::kClear;
}

// The job's file after its names changed: its change time moved, nothing
// else may have.
void refreshIdentity(JobFiles& job) {
  sys::NodeStat now;
  if (sys::statOf(job.file, now) && sameFile(now.identity, job.identity) &&
      now.identity.size == job.identity.size &&
      now.identity.modifiedNs == job.identity.modifiedNs) {
    job.identity.changedNs = now.identity.changedNs;
  }
}

}  // namespace

namespace {

// The temporary names each folder held when the run first looked, so that
// a folder of many pages is listed once, not once a page. A name made
// later is a live run's, this one's or another's, and is not to be touched.
std::mutex listingsGuard;
std::map<std::pair<std::uint64_t, std::uint64_t>, std::vector<std::string>>
    listings;

std::vector<std::string> temporariesIn(const JobFiles& job) {
  const std::lock_guard<std::mutex> lock(listingsGuard);
  auto& seen = listings;
  const auto key =
      std::make_pair(job.folderIdentity.device, job.folderIdentity.inode);
  const auto found = seen.find(key);
  if (found != seen.end()) return found->second;
  std::vector<std::string> names;
  if (!sys::listNames(job.folder, names)) return {};
  std::erase_if(names, [](const std::string& name) {
    return !name.starts_with(".tagfmt-");
  });
  return seen.emplace(key, std::move(names)).first->second;
}

}  // namespace

void forgetListings() {
  const std::lock_guard<std::mutex> lock(listingsGuard);
  listings.clear();
}

bool leftoversBeside(const JobFiles& job) {
  const std::string mark = leafMark(job.leaf);
  const std::vector<std::string> names = temporariesIn(job);
  return std::any_of(names.begin(), names.end(), [&](const std::string& name) {
    return name.starts_with(mark);
  });
}

RepairResult repairLeftovers(JobFiles& job, std::string_view read,
                             const std::string& backupLeaf,
                             const TidyText& tidy) {
  std::vector<std::string> names;
  // Without a lock of its own on the page, no run's end can be told.
  if (!sys::lockFile(job.file) || !sys::listNames(job.folder, names)) {
    return RepairResult::kClear;
  }
  const std::string mark = leafMark(job.leaf);
  RepairResult result = RepairResult::kClear;
  bool touched = false;
  for (const std::string& name : names) {
    Leftover left;
    if (!parseLeftover(name, mark, left)) continue;
    left.name = name;
    // This job holds its own page's lock; another page's is taken here.
    Owned probe(left.page == job.identity.inode
                    ? kNoHandle
                    : lockPage(job, left.page, names));
    if (left.page != job.identity.inode && probe.get() == kNoHandle) continue;
    const RepairResult one =
        repairOne(job, read, backupLeaf, left, tidy, touched);
    if (one != RepairResult::kClear) result = one;
  }
  if (touched) refreshIdentity(job);
  return result;
}

}  // namespace tagfmt
