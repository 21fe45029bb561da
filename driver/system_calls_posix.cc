// The file job's system calls on POSIX systems (system_calls.h), with
// Linux's unnamed files, name swaps, file-system syncs and attributes where
// it has them. Every call after the folder's open acts relative to it.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
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
#include "driver/system_calls.h"

namespace tagfmt {

namespace {

int fdOf(NativeHandle handle) { return static_cast<int>(handle); }

NativeHandle handleOf(int fd) { return fd < 0 ? kNoHandle : fd; }

constexpr std::size_t kChunk = std::size_t{1} << 30;

std::int64_t nanoseconds(const struct timespec& t) {
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

sys::NodeStat statFrom(const struct stat& st) {
  sys::NodeStat node;
  FileIdentity& identity = node.identity;
  identity.device = static_cast<std::uint64_t>(st.st_dev);
  identity.inode = static_cast<std::uint64_t>(st.st_ino);
  identity.size = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
  identity.modifiedNs = nanoseconds(st.st_mtim);
  identity.changedNs = nanoseconds(st.st_ctim);
  identity.permissions = static_cast<unsigned>(st.st_mode) & 0777u;
  identity.owner = st.st_uid;
  identity.group = st.st_gid;
  node.kind = S_ISREG(st.st_mode)   ? sys::NodeKind::kFile
              : S_ISDIR(st.st_mode) ? sys::NodeKind::kFolder
              : S_ISLNK(st.st_mode) ? sys::NodeKind::kLink
                                    : sys::NodeKind::kOther;
  node.links = static_cast<std::uint64_t>(st.st_nlink);
  return node;
}

// Termination signals wait while a file is incomplete or a temporary name
// exists; they take effect when the last hold is released. The tool never
// blocks them otherwise, so that release unblocks them.
int signalHolds = 0;
constexpr int kTerminationSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

sigset_t terminationSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int signal : kTerminationSignals) sigaddset(&set, signal);
  return set;
}

#ifdef __linux__
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
#endif

// Gives `fd` the access ACL of `from`, or none when `from` has none: a
// file made in a folder with a default ACL inherits its entries, which could
// let others read what they may not read in the file itself. The ACL is
// taken as the kernel keeps it, so no ACL library is needed.
bool takeAccessRules(int fd, int from) {
#ifdef __linux__
  constexpr const char* kAcl = "system.posix_acl_access";
  std::string rules;
  if (readAttribute(from, kAcl, rules)) {
    return ::fsetxattr(fd, kAcl, rules.data(), rules.size(), 0) == 0;
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

}  // namespace

bool readAt(NativeHandle file, char* buffer, std::size_t size,
            std::uint64_t offset) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n =
        ::pread(fdOf(file), buffer + got, std::min(size - got, kChunk),
                static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

bool writeAt(NativeHandle file, std::string_view bytes, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk = std::min(bytes.size() - done, kChunk);
    const ssize_t n = ::pwrite(fdOf(file), bytes.data() + done, chunk,
                               static_cast<off_t>(offset + done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
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

std::string_view pathSeparators() { return "/"; }

// Arguments are bytes here already, and so is standard output.
std::vector<std::string> programArguments(int argumentCount, char** arguments) {
  return {arguments, arguments + argumentCount};
}

void useBinaryStandardOutput() {}

namespace sys {

NativeHandle openFolder(const std::string& path) {
  return handleOf(::open(path.empty() ? "." : path.c_str(),
                         O_RDONLY | O_DIRECTORY | O_NOCTTY | O_CLOEXEC));
}

NativeHandle openIn(NativeHandle folder, const std::string& leaf, OpenFor mode,
                    bool followLink) {
  const int access = mode == OpenFor::kRead ? O_RDONLY : O_WRONLY;
  return handleOf(::openat(fdOf(folder), leaf.c_str(),
                           access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                               (followLink ? 0 : O_NOFOLLOW)));
}

namespace {

NativeHandle reopen(NativeHandle file, int access) {
#ifdef __linux__
  // The kernel's link to the open file, which no one can re-point.
  const std::string self = "/proc/self/fd/" + std::to_string(fdOf(file));
  const int fd =
      ::open(self.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd >= 0 || errno != ENOENT) return handleOf(fd);
#else
  static_cast<void>(file);
  static_cast<void>(access);
#endif
  errno = ENOSYS;
  return kNoHandle;
}

}  // namespace

NativeHandle reopenForWriting(NativeHandle file) {
  return reopen(file, O_WRONLY);
}

NativeHandle reopenForReading(NativeHandle file) {
  return reopen(file, O_RDONLY);
}

NativeHandle createIn(NativeHandle folder, const std::string& leaf) {
  return handleOf(::openat(fdOf(folder), leaf.c_str(),
                           O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                           0600));
}

NativeHandle createUnnamed(NativeHandle folder) {
#ifdef O_TMPFILE
  const int fd =
      ::openat(fdOf(folder), ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0) return fd;
  if (errno == EISDIR || errno == EINVAL) errno = EOPNOTSUPP;
#else
  static_cast<void>(folder);
  errno = EOPNOTSUPP;
#endif
  return kNoHandle;
}

bool close(NativeHandle handle) { return ::close(fdOf(handle)) == 0; }

bool statOf(NativeHandle handle, NodeStat& stat) {
  struct stat st {};
  if (::fstat(fdOf(handle), &st) != 0) return false;
  stat = statFrom(st);
  return true;
}

bool statAt(NativeHandle folder, const std::string& leaf, bool followLink,
            NodeStat& stat) {
  struct stat st {};
  if (::fstatat(fdOf(folder), leaf.c_str(), &st,
                followLink ? 0 : AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  stat = statFrom(st);
  return true;
}

bool readWhole(NativeHandle file, std::uint64_t size, bool mayMap,
               FileBytes& bytes) {
  return readFileBytes(fdOf(file), size, mayMap, bytes);
}

bool claimRoom(NativeHandle file, std::uint64_t size, std::uint64_t oldSize) {
#ifdef __linux__
  if (size > 0 &&
      ::fallocate(fdOf(file), FALLOC_FL_KEEP_SIZE, 0,
                  static_cast<off_t>(size)) != 0 &&
      (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
    static_cast<void>(::ftruncate(fdOf(file), static_cast<off_t>(oldSize)));
    return false;
  }
#else
  static_cast<void>(file);
  static_cast<void>(size);
  static_cast<void>(oldSize);
#endif
  return true;
}

void startWriteBack(NativeHandle file) {
#ifdef __linux__
  static_cast<void>(::sync_file_range(fdOf(file), 0, 0, SYNC_FILE_RANGE_WRITE));
#else
  static_cast<void>(file);
#endif
}

bool linkUnnamed(NativeHandle file, NativeHandle folder,
                 const std::string& leaf) {
#ifdef __linux__
  if (::linkat(fdOf(file), "", fdOf(folder), leaf.c_str(), AT_EMPTY_PATH) ==
      0) {
    return true;
  }
  if (errno == EEXIST) return false;
  // Without CAP_DAC_READ_SEARCH the file is linked through /proc instead.
  const std::string self = "/proc/self/fd/" + std::to_string(fdOf(file));
  return ::linkat(AT_FDCWD, self.c_str(), fdOf(folder), leaf.c_str(),
                  AT_SYMLINK_FOLLOW) == 0;
#else
  static_cast<void>(file);
  static_cast<void>(folder);
  static_cast<void>(leaf);
  errno = ENOSYS;
  return false;
#endif
}

bool renameOver(NativeHandle folder, const std::string& from,
                const std::string& to) {
  return ::renameat(fdOf(folder), from.c_str(), fdOf(folder), to.c_str()) == 0;
}

bool renameNew(NativeHandle folder, const std::string& from,
               const std::string& to) {
#ifdef RENAME_NOREPLACE
  return ::renameat2(fdOf(folder), from.c_str(), fdOf(folder), to.c_str(),
                     RENAME_NOREPLACE) == 0;
#else
  static_cast<void>(folder);
  static_cast<void>(from);
  static_cast<void>(to);
  errno = ENOSYS;
  return false;
#endif
}

bool swapNames(NativeHandle folder, const std::string& a,
               const std::string& b) {
#ifdef RENAME_EXCHANGE
  return ::renameat2(fdOf(folder), a.c_str(), fdOf(folder), b.c_str(),
                     RENAME_EXCHANGE) == 0;
#else
  static_cast<void>(folder);
  static_cast<void>(a);
  static_cast<void>(b);
  errno = ENOSYS;
  return false;
#endif
}

bool removeName(NativeHandle folder, const std::string& leaf) {
  return ::unlinkat(fdOf(folder), leaf.c_str(), 0) == 0;
}

bool listNames(NativeHandle folder, std::vector<std::string>& names) {
  // A handle of its own: the listing moves and closes it.
  const int own =
      ::openat(fdOf(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* listing = own < 0 ? nullptr : ::fdopendir(own);
  if (listing == nullptr) {
    if (own >= 0) ::close(own);
    return false;
  }
  errno = 0;
  while (const dirent* each = ::readdir(listing)) {
    const std::string_view leaf = each->d_name;
    if (leaf != "." && leaf != "..") names.emplace_back(leaf);
  }
  const int error = errno;
  ::closedir(listing);
  errno = error;
  return error == 0;
}

bool lockFile(NativeHandle file) {
  return ::flock(fdOf(file), LOCK_EX | LOCK_NB) == 0;
}

bool syncFile(NativeHandle file) { return ::fsync(fdOf(file)) == 0; }

bool syncFileSystem(NativeHandle file) {
#ifdef __linux__
  // One syncfs writes out and waits for every file on its file system and
  // commits the journal, on ext4, XFS and btrfs alike, and reports any
  // write-back error since Linux 5.8.
  return ::syncfs(fdOf(file)) == 0;
#else
  static_cast<void>(file);
  errno = ENOSYS;
  return false;
#endif
}

bool syncNames(NativeHandle folder) { return ::fsync(fdOf(folder)) == 0; }

bool giveOwnerAndPermissions(NativeHandle to, const FileIdentity& like,
                             NativeHandle from) {
  const int fd = fdOf(to);
  if (::fchown(fd, like.owner, like.group) != 0) {
    static_cast<void>(::fchown(fd, static_cast<uid_t>(-1), like.group));
  }
  if (!takeAccessRules(fd, fdOf(from))) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0) return false;
  unsigned permissions = like.permissions;
  if (st.st_gid != like.group) permissions &= ~0070u;
  return ::fchmod(fd, permissions) == 0;
}

bool giveWholeIdentity(NativeHandle to, NativeHandle from) {
#ifdef __linux__
  const int fd = fdOf(to);
  const int source = fdOf(from);
  struct stat st {};
  struct stat made {};
  return ::fstat(source, &st) == 0 && ::fchown(fd, st.st_uid, st.st_gid) == 0 &&
         takeAccessRules(fd, source) && takeAttributes(fd, source) &&
         ::fchmod(fd, st.st_mode & 07777) == 0 && ::fstat(fd, &made) == 0 &&
         made.st_uid == st.st_uid && made.st_gid == st.st_gid &&
         made.st_mode == st.st_mode;
#else
  static_cast<void>(to);
  static_cast<void>(from);
  return false;
#endif
}

namespace {
constexpr const char* kCapability = "security.capability";
}  // namespace

bool readPrivileges(NativeHandle file, Privileges& privileges) {
  struct stat st {};
  if (::fstat(fdOf(file), &st) != 0) return false;
  privileges.mode = static_cast<unsigned>(st.st_mode) & 07777u;
#ifdef __linux__
  privileges.hasCapability =
      readAttribute(fdOf(file), kCapability, privileges.capability);
#endif
  return true;
}

void restorePrivileges(NativeHandle file, const Privileges& privileges) {
  // The capability after the mode: the kernel drops it on a change of
  // owner only, but a capability is kept only with the right to set it.
#ifdef __linux__
  if (privileges.hasCapability) {
    static_cast<void>(::fsetxattr(fdOf(file), kCapability,
                                  privileges.capability.data(),
                                  privileges.capability.size(), 0));
  }
#endif
  if ((privileges.mode & 06000u) != 0) {
    static_cast<void>(::fchmod(fdOf(file), privileges.mode));
  }
}

bool hasFileFlags(NativeHandle file) {
#ifdef __linux__
  // The flags a user may set: append-only, immutable, no-dump and the like.
  unsigned flags = 0;
  if (::ioctl(fdOf(file), FS_IOC_GETFLAGS, &flags) != 0) return false;
  return (flags &
          (FS_SECRM_FL | FS_UNRM_FL | FS_COMPR_FL | FS_SYNC_FL |
           FS_IMMUTABLE_FL | FS_APPEND_FL | FS_NODUMP_FL | FS_NOATIME_FL |
           FS_JOURNAL_DATA_FL | FS_NOTAIL_FL | FS_DIRSYNC_FL | FS_TOPDIR_FL |
           FS_NOCOW_FL | FS_PROJINHERIT_FL)) != 0;
#else
  static_cast<void>(file);
  return false;
#endif
}

bool swapsNames(NativeHandle folder) {
#ifdef __linux__
  // ext2/3/4, XFS, btrfs, tmpfs, F2FS.
  struct statfs fs {};
  if (::fstatfs(fdOf(folder), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:
    case 0x58465342:
    case 0x9123683E:
    case 0x01021994:
    case 0xF2F52010:
      return true;
    default:
      return false;
  }
#else
  static_cast<void>(folder);
  return false;
#endif
}

bool copiesUp(NativeHandle folder) {
#ifdef __linux__
  struct statfs fs {};
  return ::fstatfs(fdOf(folder), &fs) == 0 &&
         static_cast<unsigned long>(fs.f_type) == 0x794C7630;  // overlayfs
#else
  static_cast<void>(folder);
  return false;
#endif
}

std::uint32_t runningUser() { return ::geteuid(); }

unsigned processId() { return static_cast<unsigned>(::getpid()); }

void holdSignals() {
  if (signalHolds++ > 0) return;
  const sigset_t set = terminationSignals();
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void releaseSignals() {
  if (--signalHolds > 0) return;
  const sigset_t set = terminationSignals();
  sigset_t pending;
  sigemptyset(&pending);
  ::sigpending(&pending);
  for (const int signal : kTerminationSignals) {
    // What was said so far reaches the user before the signal ends the run.
    if (sigismember(&pending, signal) == 1) std::fflush(stdout);
  }
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

bool signalPending() {
  sigset_t pending;
  sigemptyset(&pending);
  if (::sigpending(&pending) != 0) return false;
  for (const int signal : kTerminationSignals) {
    if (sigismember(&pending, signal) == 1) return true;
  }
  return false;
}

}  // namespace sys

}  // namespace tagfmt
