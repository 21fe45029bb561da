// The file job's operating-system calls on POSIX systems. Every step after
// the first acts relative to the folder opened at the start of the job.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#endif

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

#include "driver/platform.h"
#include "driver/platform_io.h"

namespace tagfmt {

namespace {

// Closes a descriptor when the scope ends, on every road out.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Gives the descriptor up to the caller, who closes it.
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  // Closes now and tells whether the close reported success.
  bool close() { return ::close(release()) == 0; }

 private:
  int fd_;
};

int fdOf(NativeHandle handle) { return static_cast<int>(handle); }

constexpr std::size_t kChunk = std::size_t{1} << 30;

bool writeAllAt(int fd, std::string_view bytes, off_t at) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk = std::min(bytes.size() - done, kChunk);
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, chunk, at + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Fills `buffer` from `fd` at `at`; false on an error or an early end.
bool readExactlyAt(int fd, char* buffer, std::size_t size, off_t at) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, buffer + got, std::min(size - got, kChunk),
                              at + static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

std::int64_t nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileIdentity identityOf(const struct stat& st) {
  FileIdentity identity;
  identity.device = static_cast<std::uint64_t>(st.st_dev);
  identity.inode = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
  identity.modifiedNs = nanoseconds(st.st_mtim);
  identity.changedNs = nanoseconds(st.st_ctim);
  identity.permissions = static_cast<unsigned>(st.st_mode) & 0777u;
  identity.owner = st.st_uid;
  identity.group = st.st_gid;
  return identity;
}

// The open descriptor `fd` still shows the file as read, and so does its
// name in the folder.
bool stillAsRead(const JobFiles& job, int fd, std::string_view read) {
  struct stat opened {};
  struct stat named {};
  const int follow = job.followsLink ? 0 : AT_SYMLINK_NOFOLLOW;
  if (::fstat(fd, &opened) != 0 ||
      ::fstatat(fdOf(job.folder), job.leaf.c_str(), &named, follow) != 0) {
    return false;
  }
  if (!sameState(identityOf(opened), job.identity) ||
      !sameFile(identityOf(named), job.identity)) {
    return false;
  }
  // `fd` may be open for writing only; the read descriptor is the same file.
  return !job.identity.recent || holdsBytes(job.file, read);
}

// Opens the leaf for reading. A symbolic link there is followed only when
// it belongs to the user running the tool or to the owner of its target,
// so a link planted in a shared folder cannot turn a run on another file.
int openLeaf(const JobFiles& job, bool& followsLink) {
  constexpr int kFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  const int folder = fdOf(job.folder);
  followsLink = false;
  const int fd = ::openat(folder, job.leaf.c_str(), kFlags | O_NOFOLLOW);
  if (fd >= 0 || errno != ELOOP) return fd;
  struct stat link {};
  if (::fstatat(folder, job.leaf.c_str(), &link, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISLNK(link.st_mode)) {
    return -1;
  }
  Descriptor target(::openat(folder, job.leaf.c_str(), kFlags));
  struct stat opened {};
  struct stat linkAfter {};
  if (target.get() < 0 || ::fstat(target.get(), &opened) != 0 ||
      ::fstatat(folder, job.leaf.c_str(), &linkAfter, AT_SYMLINK_NOFOLLOW) !=
          0 ||
      linkAfter.st_ino != link.st_ino || linkAfter.st_uid != link.st_uid) {
    return -1;
  }
  if (link.st_uid != ::geteuid() && link.st_uid != opened.st_uid) return -1;
  followsLink = true;
  return target.release();
}

// Splits `path` into its folder part, kept as given, and its final name.
void splitPath(const std::string& path, JobFiles& job) {
  const std::size_t separator = path.find_last_of('/');
  const std::size_t leafStart =
      separator == std::string::npos ? 0 : separator + 1;
  job.folderPath = path.substr(0, leafStart);
  job.leaf = path.substr(leafStart);
}

// Termination signals wait while a file is incomplete or a temporary name
// exists; they take effect when the last hold is released. The tool never
// blocks them otherwise, so that release unblocks them.
int signalHolds = 0;

sigset_t terminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaddset(&set, signal);
  }
  return set;
}

void holdTerminationSignals() {
  if (signalHolds++ > 0) return;
  const sigset_t set = terminationSignals();
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void releaseTerminationSignals() {
  if (--signalHolds > 0) return;
  const sigset_t set = terminationSignals();
  sigset_t pending;
  sigemptyset(&pending);
  ::sigpending(&pending);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    // What was said so far reaches the user before the signal ends the run.
    if (sigismember(&pending, signal) == 1) std::fflush(stdout);
  }
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

// A name in the folder that no one else uses, made for one file at a time.
std::string temporaryName(unsigned attempt) {
  return ".tagfmt-" + std::to_string(::getpid()) + "-" +
         std::to_string(attempt) + ".tmp";
}

// Makes an empty file readable by its owner only, with no name where the
// system allows that, else under a fresh temporary name.
int createStaged(int folder, StagedBackup& staged) {
#ifdef O_TMPFILE
  const int unnamed =
      ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (unnamed >= 0) return unnamed;
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return -1;
#endif
  holdTerminationSignals();
  staged.signalsHeld = true;
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = temporaryName(attempt);
    const int fd =
        ::openat(folder, name.c_str(),
                 O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0) {
      staged.temporaryName = name;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  return -1;
}

// Gives `fd` the access ACL of `from`, or none when `from` has none: a
// file made in a folder with a default ACL inherits its entries, which could
// let others read what they may not read in the file itself. The ACL is
// taken as the kernel keeps it, so no ACL library is needed.
bool takeAccessRules(int fd, int from) {
#ifdef __linux__
  constexpr const char* kAcl = "system.posix_acl_access";
  std::string rules(256, '\0');
  ssize_t size = ::fgetxattr(from, kAcl, rules.data(), rules.size());
  if (size < 0 && errno == ERANGE) {
    size = ::fgetxattr(from, kAcl, nullptr, 0);
    if (size > 0) {
      rules.resize(static_cast<std::size_t>(size));
      size = ::fgetxattr(from, kAcl, rules.data(), rules.size());
    }
  }
  if (size >= 0) {
    return ::fsetxattr(fd, kAcl, rules.data(), static_cast<std::size_t>(size),
                       0) == 0;
  }
  if (errno != ENODATA && errno != EOPNOTSUPP) return false;
  return ::fremovexattr(fd, kAcl) == 0 || errno == ENODATA ||
         errno == EOPNOTSUPP;
#else
  static_cast<void>(fd);
  static_cast<void>(from);
  return true;
#endif
}

// The file's owner and group where the tool may give them, its ACL, then
// its permissions, less the group's when the group could not be given.
bool takeOwnerAndPermissions(int fd, const FileIdentity& like, int from) {
  if (::fchown(fd, like.owner, like.group) != 0) {
    static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), like.group));
  }
  if (!takeAccessRules(fd, from)) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  unsigned permissions = like.permissions;
  if (st.st_gid != like.group) permissions &= ~0070u;
  return ::fchmod(fd, permissions) == 0;
}

// Gives the unnamed staged file a temporary name, so it can be renamed.
bool nameStaged(StagedBackup& staged) {
#ifndef O_TMPFILE
  static_cast<void>(staged);
  return false;
#else
  holdTerminationSignals();
  staged.signalsHeld = true;
  const int folder = fdOf(staged.folder);
  const std::string self = "/proc/self/fd/" + std::to_string(staged.file);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::string name = temporaryName(attempt);
    if (::linkat(fdOf(staged.file), "", folder, name.c_str(), AT_EMPTY_PATH) ==
            0 ||
        (errno != EEXIST && ::linkat(AT_FDCWD, self.c_str(), folder,
                                     name.c_str(), AT_SYMLINK_FOLLOW) == 0)) {
      staged.temporaryName = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
#endif
}

// Claims room for `size` bytes without changing the file's length: on a
// full disk the file stays as it was. A claim that fails part-way is given
// back by cutting the file to its old length.
bool claimRoom(int fd, std::size_t size, off_t oldSize) {
#ifdef __linux__
  if (size > 0 &&
      ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) != 0 &&
      (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
    static_cast<void>(::ftruncate(fd, oldSize));
    return false;
  }
#else
  static_cast<void>(fd);
  static_cast<void>(size);
  static_cast<void>(oldSize);
#endif
  return true;
}

}  // namespace

bool readAt(NativeHandle file, char* buffer, std::size_t size,
            std::uint64_t offset) {
  return readExactlyAt(fdOf(file), buffer, size, static_cast<off_t>(offset));
}

bool writeAt(NativeHandle file, std::string_view bytes, std::uint64_t offset) {
  return writeAllAt(fdOf(file), bytes, static_cast<off_t>(offset));
}

bool cutTo(NativeHandle file, std::uint64_t size) {
  return ::ftruncate(fdOf(file), static_cast<off_t>(size)) == 0;
}

bool lengthOf(NativeHandle file, std::uint64_t& size) {
  struct stat st {};
  if (::fstat(fdOf(file), &st) != 0 || st.st_size < 0) return false;
  size = static_cast<std::uint64_t>(st.st_size);
  return true;
}

std::int64_t clockNs() {
  struct timespec now {};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return nanoseconds(now);
}

void ignoreFileSizeLimit() { ::signal(SIGXFSZ, SIG_IGN); }

HeldSignals::HeldSignals() { holdTerminationSignals(); }
HeldSignals::~HeldSignals() { releaseTerminationSignals(); }

JobFiles::~JobFiles() {
  if (file != kNoHandle) ::close(fdOf(file));
  if (folder != kNoHandle) ::close(fdOf(folder));
}

ReadResult openAndRead(const std::string& path, JobFiles& job,
                       FileBytes& bytes) {
  splitPath(path, job);
  if (job.leaf.empty()) return ReadResult::kCannotOpen;
  const std::string folder = job.folderPath.empty() ? "." : job.folderPath;
  job.folder =
      ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC);
  struct stat folderStat {};
  if (job.folder < 0 || ::fstat(fdOf(job.folder), &folderStat) != 0) {
    return ReadResult::kCannotOpen;
  }
  job.folderIdentity = identityOf(folderStat);
  job.file = openLeaf(job, job.followsLink);
  struct stat before {};
  if (job.file < 0 || ::fstat(fdOf(job.file), &before) != 0 ||
      !S_ISREG(before.st_mode)) {
    return ReadResult::kCannotOpen;
  }
  job.identity = identityOf(before);
  job.identity.recent = writtenJustNow(job.identity);
  // A file written just now is checked later against the bytes read, which
  // must then be a copy: a mapping would only show the file as it is.
  struct stat after {};
  if (!readFileBytes(fdOf(job.file), job.identity.size, !job.identity.recent,
                     bytes) ||
      ::fstat(fdOf(job.file), &after) != 0 ||
      !sameState(identityOf(after), job.identity) ||
      (bytes.view().size() != job.identity.size && !bytes.stoppedAtNul())) {
    return ReadResult::kCannotRead;
  }
  return ReadResult::kOk;
}

bool unchangedSinceRead(const JobFiles& job, std::string_view read) {
  return stillAsRead(job, fdOf(job.file), read);
}

bool leafIsTheFile(const JobFiles& job, const std::string& leaf) {
  struct stat st {};
  return ::fstatat(fdOf(job.folder), leaf.c_str(), &st, 0) == 0 &&
         sameFile(identityOf(st), job.identity);
}

bool identityAt(const JobFiles& job, const std::string& leaf,
                FileIdentity& identity) {
  struct stat st {};
  if (::fstatat(fdOf(job.folder), leaf.c_str(), &st, 0) != 0) return false;
  identity = identityOf(st);
  return true;
}

StagedBackup::~StagedBackup() {
  if (!published && !temporaryName.empty()) {
    ::unlinkat(fdOf(folder), temporaryName.c_str(), 0);
  }
  if (file != kNoHandle) ::close(fdOf(file));
  if (signalsHeld) releaseTerminationSignals();
}

WriteResult stageBackup(const JobFiles& job, std::string_view bytes,
                        StagedBackup& staged) {
  staged.folder = job.folder;
  staged.device = job.identity.device;
  staged.file = createStaged(fdOf(job.folder), staged);
  if (staged.file < 0) return WriteResult::kCannotOpen;
  const int fd = fdOf(staged.file);
  if (!takeOwnerAndPermissions(fd, job.identity, fdOf(job.file)) ||
      !writeAllAt(fd, bytes, 0)) {
    return WriteResult::kFailed;
  }
#ifdef __linux__
  // Start writing it out now, so the sync of a batch finds it under way.
  static_cast<void>(::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE));
#endif
  return WriteResult::kOk;
}

bool makeDurable(StagedBackup& staged) {
  return ::fsync(fdOf(staged.file)) == 0;
}

bool makeAllDurable(const std::vector<StagedBackup*>& batch) {
  if (batch.size() == 1) return makeDurable(*batch.front());
#ifdef __linux__
  // One syncfs writes out and waits for every file on its file system and
  // commits the journal, on ext4, XFS and btrfs alike, and reports any
  // write-back error since Linux 5.8.
  std::vector<std::uint64_t> synced;
  for (const StagedBackup* staged : batch) {
    if (std::find(synced.begin(), synced.end(), staged->device) !=
        synced.end()) {
      continue;
    }
    if (::syncfs(fdOf(staged->file)) != 0) return false;
    synced.push_back(staged->device);
  }
  return true;
#else
  for (StagedBackup* staged : batch) {
    if (!makeDurable(*staged)) return false;
  }
  return true;
#endif
}

WriteResult publishBackup(StagedBackup& staged, const std::string& backupLeaf) {
  if (staged.temporaryName.empty() && !nameStaged(staged)) {
    return WriteResult::kCannotOpen;
  }
  const int folder = fdOf(staged.folder);
  if (::renameat(folder, staged.temporaryName.c_str(), folder,
                 backupLeaf.c_str()) != 0) {
    return WriteResult::kCannotOpen;
  }
  staged.published = true;
  if (staged.signalsHeld) {
    staged.signalsHeld = false;
    releaseTerminationSignals();
  }
  return WriteResult::kOk;
}

bool makeNamesDurable(NativeHandle folder) {
  return ::fsync(fdOf(folder)) == 0;
}

RewriteResult rewriteInPlace(const JobFiles& job, std::string_view read,
                             std::string_view bytes,
                             const StagedBackup& backup) {
  const int follow = job.followsLink ? 0 : O_NOFOLLOW;
  Descriptor file(
      ::openat(fdOf(job.folder), job.leaf.c_str(),
               O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow));
  if (file.get() < 0) {
    return errno == ELOOP ? RewriteResult::kChanged
                          : RewriteResult::kCannotOpen;
  }
  pauseForTest("rewrite");
  holdTerminationSignals();
  RewriteResult result = RewriteResult::kOk;
  if (!stillAsRead(job, file.get(), read)) {
    result = RewriteResult::kChanged;
  } else if (!claimRoom(file.get(), bytes.size(),
                        static_cast<off_t>(job.identity.size))) {
    result = RewriteResult::kFailed;
  } else if (!writeAllAt(file.get(), bytes, 0) ||
             ::ftruncate(file.get(), static_cast<off_t>(bytes.size())) != 0) {
    // The read bytes may be a view of this very file, gone by now.
    restoreFromBackup(file.get(), backup.file);
    result = RewriteResult::kFailed;
  }
  if (!file.close() && result == RewriteResult::kOk) {
    result = RewriteResult::kFailed;
  }
  releaseTerminationSignals();
  return result;
}

std::string_view pathSeparators() { return "/"; }

// Arguments are bytes here already, and so is standard output.
std::vector<std::string> programArguments(int argumentCount, char** arguments) {
  return {arguments, arguments + argumentCount};
}

void useBinaryStandardOutput() {}

}  // namespace tagfmt

namespace tagfmt {

namespace {

#ifdef __linux__
// File systems whose rename swaps two names atomically and that make files
// with no name: ext2/3/4, XFS, btrfs, tmpfs, F2FS.
bool swapsNames(int fd) {
  struct statfs fs {};
  if (::fstatfs(fd, &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2, ext3, ext4
    case 0x58465342:  // XFS
    case 0x9123683E:  // btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // F2FS
      return true;
    default:
      return false;
  }
}

// Reads the extended attribute `name` of `fd`, growing the buffer as needed.
bool readAttribute(int fd, const char* name, std::string& value) {
  value.assign(256, '\0');
  for (int attempt = 0; attempt < 8; ++attempt) {
    const ssize_t size = ::fgetxattr(fd, name, value.data(), value.size());
    if (size >= 0) {
      value.resize(static_cast<std::size_t>(size));
      return true;
    }
    if (errno != ERANGE) return false;
    const ssize_t needed = ::fgetxattr(fd, name, nullptr, 0);
    if (needed < 0) return false;
    value.assign(static_cast<std::size_t>(needed) + 64, '\0');
  }
  return false;
}

// Gives `fd` every extended attribute of `from` but the ACL, which
// takeAccessRules gives. False when one cannot be given.
bool takeAttributes(int fd, int from) {
  std::string names(1024, '\0');
  ssize_t size = -1;
  for (int attempt = 0; attempt < 8; ++attempt) {
    size = ::flistxattr(from, names.data(), names.size());
    if (size >= 0 || errno != ERANGE) break;
    names.resize(names.size() * 4);
  }
  if (size < 0) return errno == EOPNOTSUPP;
  names.resize(static_cast<std::size_t>(size));
  std::string value;
  for (std::size_t at = 0; at < names.size();) {
    const std::string name = names.c_str() + at;
    at += name.size() + 1;
    if (name.empty() || name == "system.posix_acl_access") continue;
    if (!readAttribute(from, name.c_str(), value) ||
        ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) {
      return false;
    }
  }
  return true;
}

// The file flags of `fd` a user may set (append-only, immutable, no-dump
// and the like); 0 where the file system keeps none.
unsigned userFlags(int fd) {
  unsigned flags = 0;
  if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return 0;
  return flags &
         (FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL |
          FS_IMMUTABLE_FL | FS_APPEND_FL | FS_NODUMP_FL | FS_NOATIME_FL |
          FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_DIRSYNC_FL | FS_TOPDIR_FL |
          FS_NOCOW_FL | FS_PROJINHERIT_FL);
}
#endif

bool swapNames(int folder, const std::string& a, const std::string& b) {
#ifdef RENAME_EXCHANGE
  return ::renameat2(folder, a.c_str(), folder, b.c_str(), RENAME_EXCHANGE) ==
         0;
#else
  static_cast<void>(folder);
  static_cast<void>(a);
  static_cast<void>(b);
  errno = ENOSYS;
  return false;
#endif
}

// Links the open file `fd` under a fresh temporary name in `folder`.
bool linkTemporary(int fd, int folder, std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    name = temporaryName(attempt + 100);
    if (::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH) == 0 ||
        (errno != EEXIST && ::linkat(AT_FDCWD, self.c_str(), folder,
                                     name.c_str(), AT_SYMLINK_FOLLOW) == 0)) {
      return true;
    }
    if (errno != EEXIST) break;
  }
  name.clear();
  return false;
}

void holdFor(StagedBackup& staged) {
  if (staged.signalsHeld) return;
  holdTerminationSignals();
  staged.signalsHeld = true;
}

// The open file is still the one read: same size and last write, and the
// same bytes where times cannot tell. Its change time moves with the names
// the job itself gives it, so it is not compared.
bool stillHolds(const JobFiles& job, std::string_view read) {
  struct stat st {};
  if (::fstat(fdOf(job.file), &st) != 0) return false;
  const FileIdentity now = identityOf(st);
  return sameFile(now, job.identity) && now.size == job.identity.size &&
         now.modifiedNs == job.identity.modifiedNs &&
         (!job.identity.recent || holdsBytes(job.file, read));
}

// Gives the backup name back to what it named before the job linked the
// file there, or removes it; `previous` names that under a temporary name.
void giveBackBackupName(const JobFiles& job, const std::string& backupLeaf,
                        StagedBackup& previous) {
  const int folder = fdOf(job.folder);
  if (!previous.temporaryName.empty()) {
    if (swapNames(folder, previous.temporaryName, backupLeaf)) return;
  }
  struct stat st {};
  if (::fstatat(folder, backupLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      sameFile(identityOf(st), job.identity)) {
    ::unlinkat(folder, backupLeaf.c_str(), 0);
  }
}

}  // namespace

bool mayReplace(const JobFiles& job) {
#ifdef __linux__
  struct stat st {};
  return !job.followsLink && ::fstat(fdOf(job.file), &st) == 0 &&
         S_ISREG(st.st_mode) && st.st_nlink == 1 &&
         userFlags(fdOf(job.file)) == 0 && swapsNames(fdOf(job.folder));
#else
  static_cast<void>(job);
  return false;
#endif
}

WriteResult stageReplacement(const JobFiles& job, std::string_view bytes,
                             StagedBackup& staged) {
#if defined(__linux__) && defined(O_TMPFILE)
  staged.folder = job.folder;
  staged.device = job.identity.device;
  staged.file =
      ::openat(fdOf(job.folder), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (staged.file < 0) {
    staged.file = kNoHandle;
    return WriteResult::kCannotOpen;
  }
  const int fd = fdOf(staged.file);
  const int from = fdOf(job.file);
  struct stat st {};
  struct stat made {};
  if (::fstat(from, &st) != 0 || ::fchown(fd, st.st_uid, st.st_gid) != 0 ||
      !takeAccessRules(fd, from) || !takeAttributes(fd, from) ||
      ::fchmod(fd, st.st_mode & 07777) != 0 || ::fstat(fd, &made) != 0 ||
      made.st_uid != st.st_uid || made.st_gid != st.st_gid ||
      made.st_mode != st.st_mode) {
    return WriteResult::kCannotOpen;
  }
  if (!claimRoom(fd, bytes.size(), 0) || !writeAllAt(fd, bytes, 0)) {
    return WriteResult::kFailed;
  }
  // Start writing it out now, so the sync of a batch finds it under way.
  static_cast<void>(::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE));
  return WriteResult::kOk;
#else
  static_cast<void>(job);
  static_cast<void>(bytes);
  static_cast<void>(staged);
  return WriteResult::kCannotOpen;
#endif
}

WriteResult linkAsBackup(JobFiles& job, const std::string& backupLeaf,
                         StagedBackup& previous) {
  const int folder = fdOf(job.folder);
  previous.folder = job.folder;
  holdFor(previous);
  std::string linked;
  if (!linkTemporary(fdOf(job.file), folder, linked)) {
    return WriteResult::kCannotOpen;
  }
  struct stat st {};
  bool placed = false;
  if (::fstatat(folder, backupLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
#ifdef RENAME_NOREPLACE
    placed = errno == ENOENT &&
             ::renameat2(folder, linked.c_str(), folder, backupLeaf.c_str(),
                         RENAME_NOREPLACE) == 0;
#endif
    if (placed) linked.clear();
  } else if (!S_ISDIR(st.st_mode)) {
    // The previous backup waits under the temporary name until the end.
    placed = swapNames(folder, linked, backupLeaf);
  }
  if (!placed) {
    ::unlinkat(folder, linked.c_str(), 0);
    return WriteResult::kCannotOpen;
  }
  previous.temporaryName = linked;
  return WriteResult::kOk;
}

RewriteResult replaceFile(JobFiles& job, std::string_view read,
                          StagedBackup& replacement, StagedBackup& previous,
                          const std::string& backupLeaf) {
  const int folder = fdOf(job.folder);
  holdFor(replacement);
  pauseForTest("rewrite");
  RewriteResult result = RewriteResult::kOk;
  std::string named;
  if (!linkTemporary(fdOf(replacement.file), folder, named)) {
    result = RewriteResult::kFailed;
  } else {
    replacement.temporaryName = named;  // removed when the staging goes
    if (!stillHolds(job, read) || !leafIsTheFile(job, job.leaf)) {
      result = RewriteResult::kChanged;
    } else if (!swapNames(folder, named, job.leaf)) {
      result = RewriteResult::kFailed;
    } else {
      // What was swapped out must be the file as read; else swap back.
      struct stat out {};
      if (::fstatat(folder, named.c_str(), &out, AT_SYMLINK_NOFOLLOW) != 0 ||
          !sameFile(identityOf(out), job.identity) || !stillHolds(job, read)) {
        swapNames(folder, named, job.leaf);
        result = RewriteResult::kChanged;
      }
    }
  }
  if (result != RewriteResult::kOk && !backupLeaf.empty()) {
    giveBackBackupName(job, backupLeaf, previous);
  }
  return result;
}

}  // namespace tagfmt
