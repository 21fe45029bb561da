// The bytes of a file that was read: a copy in memory of their own or, for a
// large file, a read-only mapping of it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tagfmt {

// Files at least this large are mapped rather than copied. Below it a copy
// costs no more than setting up and tearing down a mapping (measured on
// Linux: the two meet near 128 KiB; past 256 KiB the copy's page faults
// make it ever dearer).
inline constexpr std::uint64_t kMapThreshold = std::uint64_t{256} << 10;

// Owns the bytes of one read file and shows them as a view. A mapped file
// that another program cuts short reads as zero bytes past the cut rather
// than stopping the program, and intact() turns false.
class FileBytes {
 public:
  FileBytes() = default;
  ~FileBytes();
  FileBytes(const FileBytes&) = delete;
  FileBytes& operator=(const FileBytes&) = delete;

  // The file's bytes; empty after release().
  std::string_view view() const {
    return mapped_ != nullptr ? std::string_view(mapped_, mappedSize_)
                              : std::string_view(copy_);
  }
  // The buffer a reader that copies fills; releases any mapping first.
  std::string& copy();
  bool mapped() const { return mapped_ != nullptr; }
  // False once the mapped file was found shorter than when it was mapped:
  // the view may then hold zero bytes that were never in the file. A copy
  // is always intact.
  bool intact() const;
  // Drops the bytes; no view taken earlier may be read afterwards.
  void release();
  // True when reading stopped at the first NUL byte, the last byte held:
  // the rest of the file was never read.
  bool stoppedAtNul() const { return stoppedAtNul_; }

 private:
  friend bool readFileBytes(int descriptor, std::uint64_t size, bool mayMap,
                            FileBytes& bytes);
  std::string copy_;
  bool stoppedAtNul_ = false;
  const char* mapped_ = nullptr;
  std::size_t mappedSize_ = 0;
  int watch_ = -1;  // the mapped file, to measure it again
  int slot_ = -1;   // where the bus-error handler finds the mapping
};

// Reads the open regular file `descriptor`, measured at `size` bytes, into
// `bytes`: mapped when `mayMap` is set, it is at least kMapThreshold long, has
// no holes and the platform allows, else copied until end of file or its
// first NUL byte. Returns false when the file could not be read, or yielded
// fewer than `size` bytes with no NUL among them.
bool readFileBytes(int descriptor, std::uint64_t size, bool mayMap,
                   FileBytes& bytes);

// Reserves room for `size` bytes in `buffer`, backed by huge pages where the
// platform has them: a large text written into fresh memory then faults in
// a few hundred times fewer steps.
void reserveForText(std::string& buffer, std::size_t size);

}  // namespace tagfmt
