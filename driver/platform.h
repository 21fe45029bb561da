// The few operating-system calls the file job needs, behind one interface so
// each platform has one implementation of them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "driver/file_bytes.h"

namespace tagfmt {

// What the file job remembers of the file it read.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  unsigned permissions = 0;
};

enum class ReadResult { kOk, kCannotOpen, kCannotRead };

// Reads the regular file at `path` whole into `bytes`. A name that is not a
// regular file (a directory, FIFO or device) is refused as kCannotOpen
// without blocking on it.
ReadResult readRegularFile(const std::string& path, FileBytes& bytes,
                           FileIdentity& identity);

// True when `name` exists and is the file `identity` describes.
bool refersTo(const std::string& name, const FileIdentity& identity);

enum class WriteResult {
  kOk,
  kCannotOpen,  // nothing was written
  kFailed,      // writing began but did not complete
};

// Stores `bytes` under `name` on stable storage, in a new file: an existing
// file, link or hard link of that name is replaced, never written through.
WriteResult writeBackupFile(const std::string& name, std::string_view bytes,
                            const FileIdentity& like);

// Rewrites the file at `path` in place with `bytes`, so its owner,
// permissions, hard links and symbolic links stay as they were. What the
// name opens must still be the file `identity` describes, else nothing is
// written (kCannotOpen). Room for the new text is claimed before anything
// is overwritten where the platform allows it, so a full disk leaves the
// file as it was.
WriteResult rewriteFile(const std::string& path, std::string_view bytes,
                        const FileIdentity& identity);

// The separators that end a directory part in file names here.
std::string_view pathSeparators();

// The program's arguments as byte strings. On Windows they are taken from
// the wide command line and held in UTF-8, so that any file name survives
// the trip to the file calls, which turn it back into UTF-16.
std::vector<std::string> programArguments(int argumentCount, char** arguments);

// Puts standard output in binary mode, so every message ends in a bare LF on
// every platform.
void useBinaryStandardOutput();

}  // namespace tagfmt
