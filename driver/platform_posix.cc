// The file job's operating-system calls on POSIX systems.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "driver/platform.h"

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
  // Closes now and tells whether the close reported success.
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool writeAll(int fd, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const std::size_t chunk =
        std::min<std::size_t>(bytes.size() - done, 1u << 30);
    const ssize_t n = ::write(fd, bytes.data() + done, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

ReadResult readRegularFile(const std::string& path, FileBytes& bytes,
                           FileIdentity& identity) {
  // Non-blocking, so a FIFO cannot stall the run before it is refused.
  Descriptor file(
      ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return ReadResult::kCannotOpen;
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return ReadResult::kCannotOpen;
  }
  identity.device = static_cast<std::uint64_t>(st.st_dev);
  identity.inode = static_cast<std::uint64_t>(st.st_ino);
  identity.permissions = static_cast<unsigned>(st.st_mode) & 0777u;
  const auto size = static_cast<std::uint64_t>(std::max<off_t>(st.st_size, 0));
  return readFileBytes(file.get(), size, bytes) ? ReadResult::kOk
                                                : ReadResult::kCannotRead;
}

bool refersTo(const std::string& name, const FileIdentity& identity) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 &&
         static_cast<std::uint64_t>(st.st_dev) == identity.device &&
         static_cast<std::uint64_t>(st.st_ino) == identity.inode;
}

WriteResult writeBackupFile(const std::string& name, std::string_view bytes,
                            const FileIdentity& like) {
  struct stat st {};
  if (::lstat(name.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return WriteResult::kCannotOpen;
    // An old backup, a symbolic link or a hard link of that name is removed
    // and a new file made, so nothing is ever written through it.
    if (::unlink(name.c_str()) != 0) return WriteResult::kCannotOpen;
  }
  Descriptor file(
      ::open(name.c_str(),
             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC,
             like.permissions));
  if (file.get() < 0) return WriteResult::kCannotOpen;
  // One sync makes both the bytes and the new name durable on the journaling
  // file systems Linux uses (ext4, XFS, btrfs); a second sync of the folder
  // would double the cost of every rewrite.
  const bool written = ::fchmod(file.get(), like.permissions) == 0 &&
                       writeAll(file.get(), bytes) && ::fsync(file.get()) == 0;
  if (!file.close() || !written) {
    ::unlink(name.c_str());  // an incomplete backup would only mislead
    return WriteResult::kFailed;
  }
  return WriteResult::kOk;
}

WriteResult rewriteFile(const std::string& path, std::string_view bytes,
                        const FileIdentity& identity) {
  Descriptor file(
      ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) return WriteResult::kCannotOpen;
  // The name may have been pointed elsewhere since the file was read.
  struct stat st {};
  if (::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<std::uint64_t>(st.st_dev) != identity.device ||
      static_cast<std::uint64_t>(st.st_ino) != identity.inode) {
    return WriteResult::kCannotOpen;
  }
#ifdef __linux__
  // Claim the room first: on a full disk the file stays as it was. The size
  // is kept, as a claim that fails part-way would otherwise leave the file
  // grown with zero bytes; cutting back to the old size frees what it took.
  if (!bytes.empty() &&
      ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, 0,
                  static_cast<off_t>(bytes.size())) != 0 &&
      (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
    static_cast<void>(::ftruncate(file.get(), st.st_size));
    return WriteResult::kFailed;
  }
#endif
  const bool written =
      writeAll(file.get(), bytes) &&
      ::ftruncate(file.get(), static_cast<off_t>(bytes.size())) == 0;
  return file.close() && written ? WriteResult::kOk : WriteResult::kFailed;
}

std::string_view pathSeparators() { return "/"; }

// Arguments are bytes here already, and so is standard output.
std::vector<std::string> programArguments(int argumentCount, char** arguments) {
  return {arguments, arguments + argumentCount};
}

void useBinaryStandardOutput() {}

}  // namespace tagfmt
