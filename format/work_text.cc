// The pass's output buffer: bounded, and free of copying while the output
// equals the input.
#include "format/work_text.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "format/format.h"

namespace tagfmt {

WorkText::WorkText(std::string& buffer, std::size_t limit,
                   std::string_view original)
    : buffer_(buffer), original_(original), limit_(limit) {}

// A piece that differs from the original is held aside while it may still
// be taken back; a longer one ends the sharing at once.
constexpr std::size_t kMaxTail = 4096;

void WorkText::diverge() {
  sharing_ = false;
  if (stopAtDifference_) {
    // Past the bound in effect: positions count on, nothing is stored.
    stopped_ = true;
    overflowed_ = true;
    spare_ = 0;
    tail_.clear();
    return;
  }
  const std::string tail = std::move(tail_);
  used_ = 0;
  buffer_.clear();
  append(original_.data(), shared_);
  append(tail.data(), tail.size());
}

void WorkText::truncateOther(std::size_t position) {
  used_ = position;
  if (!sharing_) {
    flush();
    if (position < buffer_.size()) buffer_.resize(position);
    resetSpare();
    return;
  }
  if (position <= shared_) {
    shared_ = position;
    tail_.clear();
  } else {
    tail_.resize(position - shared_);
  }
}

std::size_t formatRoom(std::size_t inputSize) {
  return inputSize > (SIZE_MAX - 4096) / 3 ? SIZE_MAX
                                           : inputSize * 5 / 2 + 4096;
}

void WorkText::resetSpare() {
  spare_ = overflowed_ ? 0 : std::min(kStage - staged_, limit_ - used_);
}

void WorkText::grow(std::size_t needed) {
  // Appending writes each byte once; growing by resize would first fill the
  // new room with zeros.
  if (needed > buffer_.capacity()) {
    const std::size_t roomy =
        std::max(buffer_.capacity() + buffer_.capacity() / 2,
                 formatRoom(original_.size()));
    buffer_.reserve(std::min(limit_, std::max(needed, roomy)));
  }
}

void WorkText::flush() {
  if (staged_ == 0) return;
  grow(buffer_.size() + staged_);
  buffer_.append(stage_, staged_);
  staged_ = 0;
}

bool WorkText::makeRoom(std::size_t count) {
  constexpr std::size_t kMaxPosition = SIZE_MAX / 2;
  flush();
  const std::size_t room = used_ < limit_ ? limit_ - used_ : 0;
  if (overflowed_ || count > room) {
    // Past the bound nothing is stored: the text will be refused anyway.
    // Positions saturate, as only the stored text depends on them.
    overflowed_ = true;
    spare_ = 0;
    used_ = count > kMaxPosition - used_ ? kMaxPosition : used_ + count;
    return false;
  }
  grow(used_ + count);
  used_ += count;
  resetSpare();
  return true;
}

void WorkText::appendOther(const char* bytes, std::size_t count) {
  if (count == 0) return;
  if (sharing_) {
    if (tail_.empty()) {
      const char* const same = original_.data() + shared_;
      if (count <= original_.size() - shared_ &&
          (bytes == same || std::memcmp(bytes, same, count) == 0)) {
        shared_ += count;
        used_ += count;
        return;
      }
      if (count <= kMaxTail) {
        tail_.assign(bytes, count);
        used_ += count;
        return;
      }
    }
    diverge();
  }
  // The stage is full, or the piece is too large for it.
  flush();
  resetSpare();
  if (count <= spare_) {
    append(bytes, count);
  } else if (makeRoom(count)) {
    buffer_.append(bytes, count);
  }
}

namespace {

// A line break and the indentation after it, ready to be copied in one
// piece: filling spaces one append at a time costs more than the copy.
constexpr std::array<char, 2 + kMaxTail> kBreak = [] {
  std::array<char, 2 + kMaxTail> text{};
  text.fill(' ');
  text[0] = '\r';
  text[1] = '\n';
  return text;
}();
constexpr const char* kSpaces = kBreak.data() + 2;

}  // namespace

void WorkText::appendSpaces(std::size_t count) {
  if (count <= kMaxTail) {
    append(kSpaces, count);
    return;
  }
  if (sharing_) diverge();
  if (makeRoom(count)) buffer_.append(count, ' ');
}

void WorkText::appendBreak(std::size_t spaces) {
  // While sharing, the CR LF and the spaces go separately, so that a break
  // whose CR LF is the original's own stays shared that far.
  if (!sharing_ && spaces <= kMaxTail) {
    append(kBreak.data(), 2 + spaces);
    return;
  }
  append("\r\n", 2);
  appendSpaces(spaces);
}

char WorkText::lastByte() const {
  if (used_ == 0 || overflowed_) return '\0';
  if (sharing_) return tail_.empty() ? original_[shared_ - 1] : tail_.back();
  return staged_ > 0 ? stage_[staged_ - 1] : buffer_.back();
}

std::string_view WorkText::finish() {
  if (sharing_ && tail_.empty() && shared_ == original_.size()) {
    return original_;
  }
  if (sharing_) diverge();
  flush();
  if (overflowed_) std::string().swap(buffer_);
  return buffer_;
}

}  // namespace tagfmt
