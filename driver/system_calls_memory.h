// An in-memory disk behind system_calls.h, for unit tests of the file job:
// files, folders and links that tests lay out, faults injected at any call,
// and a power cut that keeps only what was synced.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "driver/platform.h"

namespace tagfmt::memory {

// What the disk can do, as a file system would.
struct DiskKind {
  bool unnamedFiles = true;  // O_TMPFILE
  bool swapsNames = true;    // RENAME_EXCHANGE
  bool hardLinks = true;     // a second name for a file (none on FAT)
};

// Empties the disk to one folder, the root, which relative paths start at.
void reset(DiskKind kind = {});

// Lays out the disk. Paths are '/'-separated from the root; folders on the
// way are made. New entries are durable, as if the disk was synced.
void putFile(const std::string& path, const std::string& bytes,
             unsigned permissions = 0644);
void putLink(const std::string& path, const std::string& target);
void putHardLink(const std::string& path, const std::string& existing);

// What `path` holds, not following a link there; false when nothing.
bool readFile(const std::string& path, std::string& bytes);
// The node's identity; false when nothing has the name.
bool identityOf(const std::string& path, FileIdentity& identity);
// The names in the folder, sorted.
std::vector<std::string> namesIn(const std::string& folder);
// Writes `bytes` over the file, moving its times as a writer would, or
// keeping them as one through a shared mapping or a restored time would.
void overwrite(const std::string& path, const std::string& bytes,
               bool keepTimes = false);

// The `nth` call (from 1) named `call` ("openIn", "writeAt", "syncFile", ...
// as in system_calls.h) fails with `error`; only one fault is armed at once.
void failCall(const std::string& call, int nth, int error);
// Runs `action` just before the `nth` call named `call` does its work.
void beforeCall(const std::string& call, int nth, std::function<void()> action);
// The calls made since the reset, in order.
const std::vector<std::string>& calls();
// Termination-signal holds not yet let go.
int signalHolds();
// A termination signal comes, and waits while held.
void sendSignal();

// Loses everything not yet synced, as a power cut would: a file's bytes
// written since its last sync are torn (the new first half over the old),
// names given since their folder's last sync are gone. Handles are dropped.
void powerCut();

}  // namespace tagfmt::memory
