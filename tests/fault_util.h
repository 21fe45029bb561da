// Test helpers for real file-system faults on Linux: mounts that are undone
// when the test ends, the immutable flag and filling a disk.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace tagfmt::testing {

// A file system mounted on a folder for one test and unmounted when the
// object goes, also when the test fails. The mounts are made in a mount
// namespace of the test process where the machine allows it, so even a
// crashed test leaves none behind. Each mount call returns false and says
// why in `why` when the machine refuses.
class MountPoint {
 public:
  MountPoint() = default;
  ~MountPoint();
  MountPoint(const MountPoint&) = delete;
  MountPoint& operator=(const MountPoint&) = delete;

  // A tmpfs of `bytes` on `folder`.
  bool tmpfs(const std::string& folder, std::size_t bytes, std::string& why);
  // An ext4 file system of `bytes` on `folder`, made in the file `image`
  // and mounted through a loop device; loop() makes one of the type `type`
  // ("ext4" or "xfs").
  bool ext4(const std::string& image, const std::string& folder,
            std::size_t bytes, std::string& why) {
    return loop("ext4", image, folder, bytes, why);
  }
  bool loop(const std::string& type, const std::string& image,
            const std::string& folder, std::size_t bytes, std::string& why);
  // An overlay of `upper` (with `work`, on the same file system) over
  // `lower`, on `folder`.
  bool overlay(const std::string& lower, const std::string& upper,
               const std::string& work, const std::string& folder,
               std::string& why);
  // `folder` bound onto itself, read-only.
  bool bindReadOnly(const std::string& folder, std::string& why);

 private:
  std::vector<std::string> mounted_;  // innermost last
};

// Sets the immutable flag on a file or folder; clears it when the object
// goes.
class ImmutableFlag {
 public:
  ImmutableFlag() = default;
  ~ImmutableFlag();
  ImmutableFlag(const ImmutableFlag&) = delete;
  ImmutableFlag& operator=(const ImmutableFlag&) = delete;
  bool set(const std::string& path, std::string& why);

 private:
  std::string path_;
};

// Fills the file system of `folder` with a file "filler" in it until only
// about `bytes` stay free.
bool fillLeaving(const std::string& folder, std::size_t bytes,
                 std::string& why);

// Names in `folder` that start like the tool's temporary files.
std::vector<std::string> temporaryLeftovers(const std::string& folder);

// The names in `folder`, sorted.
std::vector<std::string> namesIn(const std::string& folder);

// A run of the test build of the tool, stopped at the step `step` so that a
// test can change files under it.
struct PausedTool {
  int pid = -1;
  int output = -1;      // the read end of its standard output
  bool paused = false;  // false: it ended or never reached the step
};

// Starts the test build with `arguments` in `directory` and waits until it
// stops at `step`.
PausedTool startPausedTool(const std::filesystem::path& directory,
                           const std::vector<std::string>& arguments,
                           const std::string& step);

// Lets a paused run go on and waits for its end.
ToolRun resumeTool(PausedTool& tool);

// An unprivileged user and group made for the tests, removed when the
// object goes if it made them. `made()` is false, and `why` says why, where
// that cannot be done (not root, no useradd).
class TestUser {
 public:
  TestUser();
  ~TestUser();
  TestUser(const TestUser&) = delete;
  TestUser& operator=(const TestUser&) = delete;
  bool made() const { return uid_ >= 0; }
  unsigned uid() const { return static_cast<unsigned>(uid_); }
  unsigned gid() const { return static_cast<unsigned>(gid_); }
  const std::string& why() const { return why_; }
  // Runs the shell command `command` as this user; true when it exits 0.
  bool run(const std::string& command) const;

 private:
  int uid_ = -1;
  int gid_ = -1;
  bool created_ = false;
  std::string why_;
};

}  // namespace tagfmt::testing
