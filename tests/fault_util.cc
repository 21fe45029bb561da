// Test helpers for real file-system faults on Linux.
#include "tests/fault_util.h"

#include <fcntl.h>
#include <grp.h>
#include <linux/fs.h>
#include <pwd.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace tagfmt::testing {

namespace fs = std::filesystem;

namespace {

// Moves this process into a mount namespace of its own, once, so its
// mounts vanish with it. Where that is refused they are made in the
// machine's namespace and only the destructors undo them.
void ownMountNamespace() {
  static const bool done = [] {
    return unshare(CLONE_NEWNS) == 0 &&
           mount("none", "/", "none", MS_REC | MS_PRIVATE, nullptr) == 0;
  }();
  static_cast<void>(done);
}

bool refuse(std::string& why, const std::string& what) {
  why = what + ": " + std::strerror(errno);
  return false;
}

}  // namespace

MountPoint::~MountPoint() {
  for (auto it = mounted_.rbegin(); it != mounted_.rend(); ++it) {
    umount2(it->c_str(), MNT_DETACH);
  }
}

bool MountPoint::tmpfs(const std::string& folder, std::size_t bytes,
                       std::string& why) {
  if (geteuid() != 0) {
    why = "mounting needs root";
    return false;
  }
  ownMountNamespace();
  const std::string options = "size=" + std::to_string(bytes);
  if (mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    return refuse(why, "mount -t tmpfs");
  }
  mounted_.push_back(folder);
  return true;
}

bool MountPoint::overlay(const std::string& lower, const std::string& upper,
                         const std::string& work, const std::string& folder,
                         std::string& why) {
  if (geteuid() != 0) {
    why = "mounting needs root";
    return false;
  }
  ownMountNamespace();
  const std::string options =
      "lowerdir=" + lower + ",upperdir=" + upper + ",workdir=" + work;
  if (mount("overlay", folder.c_str(), "overlay", 0, options.c_str()) != 0) {
    return refuse(why, "mount -t overlay");
  }
  mounted_.push_back(folder);
  return true;
}

bool MountPoint::loop(const std::string& type, const std::string& image,
                      const std::string& folder, std::size_t bytes,
                      std::string& why) {
  if (geteuid() != 0) {
    why = "mounting needs root";
    return false;
  }
  ownMountNamespace();
  const int fd = open(image.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
  const bool sized = fd >= 0 && ftruncate(fd, static_cast<off_t>(bytes)) == 0;
  if (fd >= 0) close(fd);
  if (!sized) return refuse(why, "cannot make " + image);
  // No blocks reserved for root: the tests run as root and must fill it.
  const std::string make =
      type == "xfs" ? "mkfs.xfs -q -f '" + image + "' >/dev/null 2>&1"
                    : "mkfs.ext4 -q -F -m 0 '" + image + "' >/dev/null 2>&1";
  if (std::system(make.c_str()) != 0) {
    why = "mkfs." + type + " failed or is missing";
    return false;
  }
  const std::string mountIt =
      "mount -o loop '" + image + "' '" + folder + "' >/dev/null 2>&1";
  if (std::system(mountIt.c_str()) != 0) {
    why = "cannot mount an " + type + " image through a loop device";
    return false;
  }
  mounted_.push_back(folder);
  return true;
}

bool MountPoint::bindReadOnly(const std::string& folder, std::string& why) {
  if (geteuid() != 0) {
    why = "mounting needs root";
    return false;
  }
  ownMountNamespace();
  // The kernel ignores the type of a bind mount; naming one keeps memcheck
  // from flagging a null pointer.
  if (mount(folder.c_str(), folder.c_str(), "none", MS_BIND, nullptr) != 0) {
    return refuse(why, "mount --bind");
  }
  mounted_.push_back(folder);
  if (mount("none", folder.c_str(), "none", MS_REMOUNT | MS_BIND | MS_RDONLY,
            nullptr) != 0) {
    return refuse(why, "mount -o remount,bind,ro");
  }
  return true;
}

namespace {

bool changeImmutable(const std::string& path, bool on) {
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  int flags = 0;
  bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
  }
  const int saved = errno;
  close(fd);
  errno = saved;
  return done;
}

}  // namespace

ImmutableFlag::~ImmutableFlag() {
  if (!path_.empty()) changeImmutable(path_, false);
}

bool ImmutableFlag::set(const std::string& path, std::string& why) {
  if (!changeImmutable(path, true)) {
    return refuse(why, "cannot make " + path + " immutable");
  }
  path_ = path;
  return true;
}

bool fillLeaving(const std::string& folder, std::size_t bytes,
                 std::string& why) {
  struct statvfs st {};
  if (statvfs(folder.c_str(), &st) != 0) return refuse(why, "statvfs");
  const std::size_t free = st.f_bavail * st.f_frsize;
  if (free < bytes) {
    why = "the file system has less room than the test needs";
    return false;
  }
  const int fd = open((folder + "/filler").c_str(),
                      O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) return refuse(why, "cannot create the filler");
  const std::string chunk(65536, 'f');
  std::size_t left = free - bytes;
  bool ok = true;
  while (ok && left > 0) {
    const std::size_t count = std::min(left, chunk.size());
    ok = write(fd, chunk.data(), count) == static_cast<ssize_t>(count);
    left -= ok ? count : 0;
  }
  ok = ok && fsync(fd) == 0;
  if (close(fd) != 0 || !ok) return refuse(why, "cannot write the filler");
  return true;
}

std::vector<std::string> temporaryLeftovers(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with(".tagfmt-")) names.push_back(name);
  }
  return names;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ignored;
  for (const auto& entry : fs::directory_iterator(folder, ignored)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

PausedTool startPausedTool(const fs::path& directory,
                           const std::vector<std::string>& arguments,
                           const std::string& step) {
  std::vector<char*> argv;
  const char* const binary = TAGFMT_SEAMS_BINARY;
  argv.push_back(const_cast<char*>(binary));
  for (const std::string& word : arguments) {
    argv.push_back(const_cast<char*>(word.c_str()));
  }
  argv.push_back(nullptr);
  int pipeFds[2];
  if (pipe(pipeFds) != 0) std::abort();
  PausedTool tool;
  tool.pid = fork();
  if (tool.pid == 0) {
    dup2(pipeFds[1], STDOUT_FILENO);
    close(pipeFds[0]);
    close(pipeFds[1]);
    if (chdir(directory.c_str()) != 0) _exit(126);
    setenv("TAGFMT_PAUSE_AT", step.c_str(), 1);
    alarm(120);  // the default action of SIGALRM ends the tool
    execv(binary, argv.data());
    _exit(127);
  }
  close(pipeFds[1]);
  tool.output = pipeFds[0];
  int status = 0;
  waitpid(tool.pid, &status, WUNTRACED);
  tool.paused = WIFSTOPPED(status);
  if (!tool.paused) tool.pid = -1;
  return tool;
}

ToolRun resumeTool(PausedTool& tool) {
  ToolRun run;
  if (tool.pid > 0) kill(tool.pid, SIGCONT);
  char chunk[65536];
  ssize_t n;
  while ((n = read(tool.output, chunk, sizeof chunk)) > 0) {
    run.output.append(chunk, static_cast<std::size_t>(n));
  }
  close(tool.output);
  int status = 0;
  if (tool.pid > 0) waitpid(tool.pid, &status, 0);
  run.exitedWithZero = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
  return run;
}

namespace {

constexpr char kTestUser[] = "tagfmt-test-other";

bool lookUp(int& uid, int& gid) {
  const passwd* entry = getpwnam(kTestUser);
  if (entry == nullptr) return false;
  uid = static_cast<int>(entry->pw_uid);
  gid = static_cast<int>(entry->pw_gid);
  return true;
}

}  // namespace

TestUser::TestUser() {
  if (geteuid() != 0) {
    why_ = "making a second user needs root";
    return;
  }
  if (lookUp(uid_, gid_)) return;
  const std::string add =
      std::string("useradd -M -U -s /bin/sh ") + kTestUser + " >/dev/null 2>&1";
  if (std::system(add.c_str()) != 0 || !lookUp(uid_, gid_)) {
    uid_ = gid_ = -1;
    why_ = "useradd failed or is missing";
    return;
  }
  created_ = true;
}

TestUser::~TestUser() {
  if (created_) {
    std::system(
        (std::string("userdel ") + kTestUser + " >/dev/null 2>&1").c_str());
  }
}

bool TestUser::run(const std::string& command) const {
  const pid_t child = fork();
  if (child == 0) {
    if (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(gid_)) != 0 ||
        setuid(static_cast<uid_t>(uid_)) != 0) {
      _exit(125);
    }
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tagfmt::testing
