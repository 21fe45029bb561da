// The pass's output buffer: bounded, and free of copying while the output
// equals the input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace tagfmt {

// Copies `count` bytes without a call for the short pieces the pass
// writes: two overlapping loads cover any length from 4 to 16.
inline void copyPiece(char* to, const char* from, std::size_t count) {
  if (count >= 8 && count <= 16) {
    std::uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + count - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + count - 8, &tail, 8);
  } else if (count >= 4 && count < 8) {
    std::uint32_t head, tail;
    std::memcpy(&head, from, 4);
    std::memcpy(&tail, from + count - 4, 4);
    std::memcpy(to, &head, 4);
    std::memcpy(to + count - 4, &tail, 4);
  } else {
    std::memcpy(to, from, count);
  }
}

// The pass's output: a growing buffer with an upper bound. While the output
// is a copy of the start of `original`, nothing is stored: most files are
// tidy already, and then the pass only reads. The last piece written may
// differ and still be taken back (a break redone at a smaller indentation)
// without leaving that mode. Past the bound it stops storing bytes but keeps
// counting positions, so the pass can run on to the end and still check
// nesting.
class WorkText {
 public:
  WorkText(std::string& buffer, std::size_t limit, std::string_view original);
  void append(const char* bytes, std::size_t count) {
    // The common case in a file that changes: the piece fits the stage.
    // While sharing there is no spare room, and only an empty piece (which
    // changes nothing either way) comes in here.
    if (count <= spare_) {
      copyPiece(stage_ + staged_, bytes, count);
      staged_ += count;
      used_ += count;
      spare_ -= count;
      return;
    }
    // The common case in a tidy file: the bytes are the original's own, at
    // the very place they would be written.
    if (sharing_ && tail_.empty() && bytes == original_.data() + shared_ &&
        count <= original_.size() - shared_) {
      shared_ += count;
      used_ += count;
      return;
    }
    appendOther(bytes, count);
  }
  void appendSpaces(std::size_t count);
  // Appends a CR LF and `spaces` spaces.
  void appendBreak(std::size_t spaces);
  // Takes original[from, from + count) as written when the output so far is
  // original[0, from); returns false, writing nothing, otherwise.
  bool skipShared(std::size_t from, std::size_t count) {
    if (!sharing_ || !tail_.empty() || shared_ != from ||
        count > original_.size() - from) {
      return false;
    }
    shared_ += count;
    used_ += count;
    return true;
  }
  std::size_t size() const { return used_; }
  // The last byte of the output; '\0' when there is none, or when the
  // output is past the bound and no longer stored.
  char lastByte() const;
  // Takes back everything from `position` on.
  void truncate(std::size_t position) {
    // The common case in a file that changes: a break taken back to be
    // redone, still on the stage.
    if (!sharing_ && !overflowed_ && used_ - position <= staged_) {
      spare_ += used_ - position;
      staged_ -= used_ - position;
      used_ = position;
      return;
    }
    // The common case in a tidy file: a break taken back while the output
    // is still the original's start.
    if (sharing_ && tail_.empty() && position <= shared_) {
      shared_ = position;
      used_ = position;
      return;
    }
    truncateOther(position);
  }
  bool overflowed() const { return overflowed_; }
  // From now on, the first byte that differs from the original ends the
  // output: nothing is stored, and stopped() tells the pass to end.
  void stopAtDifference() { stopAtDifference_ = true; }
  bool stopped() const { return stopped_; }
  // Ends the output and returns it: a view of `original` when the two are
  // equal, else of the buffer (empty after an overflow).
  std::string_view finish();

 private:
  void appendOther(const char* bytes, std::size_t count);
  void truncateOther(std::size_t position);
  // Leaves the copying-free mode: stores the output so far.
  void diverge();
  // Counts `count` more bytes and makes room for them in the buffer; false,
  // storing nothing more, once past the bound.
  bool makeRoom(std::size_t count);
  // Reserves room in the buffer for `needed` bytes in all.
  void grow(std::size_t needed);
  // Moves the staged bytes into the buffer.
  void flush();
  // Recomputes spare_ after the stage or the bound changed.
  void resetSpare();

  std::string& buffer_;
  std::string_view original_;
  std::size_t used_ = 0;
  std::size_t limit_;
  // While sharing, the output is original_[0, shared_) followed by tail_.
  bool sharing_ = true;
  std::size_t shared_ = 0;
  std::string tail_;
  bool overflowed_ = false;
  bool stopAtDifference_ = false;
  bool stopped_ = false;
  // Once the output differs, small pieces gather here and go into the
  // buffer a block at a time: std::string's append costs more than the
  // copy of a piece a few bytes long. The buffer holds the output up to
  // used_ - staged_, the stage the rest.
  static constexpr std::size_t kStage = 4096;
  char stage_[kStage];
  std::size_t staged_ = 0;
  // Bytes that can be staged without passing the bound; 0 while sharing or
  // past the bound.
  std::size_t spare_ = 0;
};

}  // namespace tagfmt
