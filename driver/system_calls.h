// The small set of system calls the file job's policy (platform_policy.cc)
// is written over. POSIX gives them in system_calls_posix.cc, Windows in
// system_calls_windows.cc; the tests give an in-memory disk in
// system_calls_memory.cc. One is picked at link time.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_bytes.h"
#include "driver/platform.h"

namespace tagfmt::sys {

// Every call that fails sets errno to say why, as the system call did (on
// Windows, the errno that GetLastError's code stands for).

enum class NodeKind { kFile, kFolder, kLink, kOther };

// What a stat call tells of a file, a folder or a link.
struct NodeStat {
  FileIdentity identity;
  NodeKind kind = NodeKind::kOther;
  std::uint64_t links = 0;
};

enum class OpenFor { kRead, kWrite };

// Opens the folder `path` ("." when empty); kNoHandle on failure.
NativeHandle openFolder(const std::string& path);
// Opens `leaf` in `folder` without blocking on a FIFO or a device. A
// symbolic link there is followed only when `followLink`; else ELOOP.
NativeHandle openIn(NativeHandle folder, const std::string& leaf, OpenFor mode,
                    bool followLink);
// Opens the file `file` holds open once more, for writing or for reading,
// without going through any name; ENOSYS where the platform cannot.
NativeHandle reopenForWriting(NativeHandle file);
NativeHandle reopenForReading(NativeHandle file);
// Makes a new file `leaf` in `folder`, readable and writable by its owner
// only; EEXIST when the name is taken (a link there is never followed).
NativeHandle createIn(NativeHandle folder, const std::string& leaf);
// Makes a new file with no name in `folder`, owner-only; EOPNOTSUPP when the
// file system cannot.
NativeHandle createUnnamed(NativeHandle folder);
// Closes `handle`; false when the close reported an error.
bool close(NativeHandle handle);

bool statOf(NativeHandle handle, NodeStat& stat);
bool statAt(NativeHandle folder, const std::string& leaf, bool followLink,
            NodeStat& stat);

// Reads `size` bytes of the regular file from its start into `bytes`, mapped
// when `mayMap` allows (readFileBytes).
bool readWhole(NativeHandle file, std::uint64_t size, bool mayMap,
               FileBytes& bytes);
// Claims room for `size` bytes without changing the length; false only when
// the disk, the quota or the size limit has no room, with the file cut
// back to `oldSize`.
bool claimRoom(NativeHandle file, std::uint64_t size, std::uint64_t oldSize);
// Starts writing the file out, so a later sync finds it under way.
void startWriteBack(NativeHandle file);

// Gives the open file `file` the name `leaf` in `folder`; EEXIST when taken.
bool linkUnnamed(NativeHandle file, NativeHandle folder,
                 const std::string& leaf);
// Renames within `folder`: over whatever has `to`, or only where `to` is
// free (EEXIST), or swaps the two names atomically.
bool renameOver(NativeHandle folder, const std::string& from,
                const std::string& to);
bool renameNew(NativeHandle folder, const std::string& from,
               const std::string& to);
bool swapNames(NativeHandle folder, const std::string& a, const std::string& b);
bool removeName(NativeHandle folder, const std::string& leaf);
// The names in `folder`, but "." and "..", in no set order.
bool listNames(NativeHandle folder, std::vector<std::string>& names);

// Takes an advisory lock on the open file for this process alone, held until
// the handle closes; EWOULDBLOCK when another open of the file holds it.
bool lockFile(NativeHandle file);

// Puts the file's bytes on stable storage.
bool syncFile(NativeHandle file);
// Puts every file of the file system holding `file` on stable storage;
// ENOSYS where the platform cannot in one call.
bool syncFileSystem(NativeHandle file);
// Puts the names in `folder` on stable storage.
bool syncNames(NativeHandle folder);

// Gives `to` the owner and group of `like` where the tool may, the access
// rules of `from`, then `like`'s permissions less the group's when the group
// could not be given.
bool giveOwnerAndPermissions(NativeHandle to, const FileIdentity& like,
                             NativeHandle from);
// Gives `to` everything `from` is (owner, group, access rules, extended
// attributes, mode with setuid and setgid); false unless all of it took.
bool giveWholeIdentity(NativeHandle to, NativeHandle from);
// What a write to a file may strip from it: the setuid and setgid bits, and
// the file capability (security.capability), which the kernel drops on any
// write.
struct Privileges {
  unsigned mode = 0;  // the file's permissions with setuid, setgid, sticky
  std::string capability;
  bool hasCapability = false;
};
bool readPrivileges(NativeHandle file, Privileges& privileges);
// Gives them back to `file` after it was written, as far as the tool may.
void restorePrivileges(NativeHandle file, const Privileges& privileges);

// True when the file carries file flags (immutable, append-only...).
bool hasFileFlags(NativeHandle file);
// True when the file system of `folder` swaps two names atomically and makes
// files with no name.
bool swapsNames(NativeHandle folder);

// True when the file system of `folder` copies a file up from a lower
// layer when it is first opened for writing (overlayfs): the file then
// shows a new identity, with the same bytes and times.
bool copiesUp(NativeHandle folder);

std::uint32_t runningUser();
unsigned processId();

// Termination signals wait while held; holds nest, and one that came
// meanwhile takes effect when the last goes, after standard output is
// flushed.
void holdSignals();
void releaseSignals();
// True when a termination signal came while held and waits.
bool signalPending();

}  // namespace tagfmt::sys
