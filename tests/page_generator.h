// Pages whose recognised tags nest soundly, built from a stream of choices:
// what byte-level mutation seldom writes (nested tags with empty lines, runs
// of blanks and every kind of line break between them), for the fuzzers and
// the tests to feed the engine and the reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tagfmt::testing {

// Reads choices from a byte string; past its end every choice is 0, so that
// any input, however short, makes a page.
class Choices {
 public:
  Choices(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}
  // A number below `count` (count > 0).
  unsigned pick(unsigned count) {
    return pos_ < size_ ? data_[pos_++] % count : 0;
  }
  bool done() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// A page of recognised and other elements nested up to depth 8, with text,
// empty lines, runs of blanks, CR, LF and CR LF, old pair markers, comments
// and regions kept as they stand. Its recognised tags nest soundly.
std::string generatePage(Choices& choices);

}  // namespace tagfmt::testing
