// The small read, write and clock calls each platform file gives, and the
// checks and repairs written once over them for both platforms.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "driver/platform.h"

namespace tagfmt {

// Each platform's: fills `buffer` with `size` bytes of `file` from
// `offset`; false on an error or when the file ends first.
bool readAt(NativeHandle file, char* buffer, std::size_t size,
            std::uint64_t offset);
// Each platform's: writes all of `bytes` to `file` at `offset`.
bool writeAt(NativeHandle file, std::string_view bytes, std::uint64_t offset);
// Each platform's: gives `file` the length `size`.
bool cutTo(NativeHandle file, std::uint64_t size);
// Each platform's: the length of `file`; false when it cannot be learned.
bool lengthOf(NativeHandle file, std::uint64_t& size);
// Each platform's: the wall clock, in FileIdentity's units and epoch.
std::int64_t clockNs();

// True when `file` holds exactly `expected`: its bytes, and none after them.
bool holdsBytes(NativeHandle file, std::string_view expected);

// A hash of a text fed to it in pieces, every piece but the last a multiple
// of 32 bytes long; two texts that differ almost surely hash apart. Four
// lanes take turns at the words, so that a page is hashed at memory speed
// rather than at one multiply's latency per word.
class ByteHash {
 public:
  void add(std::string_view bytes);
  std::uint64_t value() const;

 private:
  std::uint64_t lanes_[4] = {0x9E3779B97F4A7C15u, 0xC2B2AE3D27D4EB4Fu,
                             0x165667B19E3779F9u, 0x27D4EB2F165667C5u};
  std::uint64_t length_ = 0;
};

// The hash of everything `file` holds; false when it cannot be read.
bool hashOfFile(NativeHandle file, std::uint64_t& hash);

// Copies the bytes of `backup` over `file` and cuts it to their length.
bool restoreFromBackup(NativeHandle file, NativeHandle backup);

// True when the file was written so shortly before now that a later write
// could carry the same times: file systems stamp times from a clock that
// moves in steps of milliseconds to seconds (FAT's two seconds).
bool writtenJustNow(const FileIdentity& identity);

}  // namespace tagfmt
