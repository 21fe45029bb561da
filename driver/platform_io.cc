// Checks and repairs of a file's bytes, written once over each platform's
// small read and write calls.
#include "driver/platform_io.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace tagfmt {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 20;

// Room for a piece of at most kPiece of a file `total` bytes long, never
// filled ahead: every use reads into it first, and a fill would cost as
// much as the read.
struct Piece {
  explicit Piece(std::uint64_t total)
      : size(static_cast<std::size_t>(std::min<std::uint64_t>(total, kPiece))),
        bytes(std::make_unique_for_overwrite<char[]>(size)) {}
  char* data() const { return bytes.get(); }
  std::size_t size;
  std::unique_ptr<char[]> bytes;
};

}  // namespace

bool holdsBytes(NativeHandle file, std::string_view expected) {
  const Piece chunk(expected.size());
  for (std::size_t at = 0; at < expected.size(); at += chunk.size) {
    const std::size_t size = std::min(chunk.size, expected.size() - at);
    if (!readAt(file, chunk.data(), size, at) ||
        expected.compare(at, size, chunk.data(), size) != 0) {
      return false;
    }
  }
  char extra = 0;
  return !readAt(file, &extra, 1, expected.size());
}

namespace {

constexpr std::uint64_t kMultiplier = 0xFF51AFD7ED558CCDu;

std::uint64_t mixed(std::uint64_t state, std::uint64_t word) {
  return ((state ^ word) * kMultiplier) ^ (state >> 29);
}

}  // namespace

void ByteHash::add(std::string_view bytes) {
  const char* const data = bytes.data();
  std::size_t at = 0;
  for (; at + 32 <= bytes.size(); at += 32) {
    __builtin_prefetch(data + at + 2048);
    for (std::size_t lane = 0; lane < 4; ++lane) {
      std::uint64_t word = 0;
      std::memcpy(&word, data + at + 8 * lane, 8);
      lanes_[lane] = mixed(lanes_[lane], word);
    }
  }
  // Only the last piece has a rest: its words go round the lanes, then its
  // last bytes into the first.
  for (std::size_t lane = 0; at + 8 <= bytes.size(); at += 8, ++lane) {
    std::uint64_t word = 0;
    std::memcpy(&word, data + at, 8);
    lanes_[lane] = mixed(lanes_[lane], word);
  }
  for (; at < bytes.size(); ++at) {
    lanes_[0] = mixed(lanes_[0], static_cast<unsigned char>(data[at]));
  }
  length_ += bytes.size();
}

std::uint64_t ByteHash::value() const {
  std::uint64_t state = mixed(lanes_[0], length_);
  for (std::size_t lane = 1; lane < 4; ++lane) {
    state = mixed(state, lanes_[lane]);
  }
  return mixed(state, state >> 31);
}

bool hashOfFile(NativeHandle file, std::uint64_t& hash) {
  std::uint64_t total = 0;
  if (!lengthOf(file, total)) return false;
  const Piece chunk(total);
  ByteHash bytes;
  for (std::uint64_t at = 0; at < total; at += chunk.size) {
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>(chunk.size, total - at));
    if (!readAt(file, chunk.data(), size, at)) return false;
    bytes.add(std::string_view(chunk.data(), size));
  }
  hash = bytes.value();
  return true;
}

bool restoreFromBackup(NativeHandle file, NativeHandle backup) {
  std::uint64_t total = 0;
  if (!lengthOf(backup, total)) return false;
  const Piece chunk(total);
  for (std::uint64_t at = 0; at < total; at += chunk.size) {
    const auto size = static_cast<std::size_t>(
        std::min<std::uint64_t>(chunk.size, total - at));
    if (!readAt(backup, chunk.data(), size, at) ||
        !writeAt(file, std::string_view(chunk.data(), size), at)) {
      return false;
    }
  }
  return cutTo(file, total);
}

bool writtenJustNow(const FileIdentity& identity) {
  constexpr std::int64_t kStampStep = 2'000'000'000;
  return clockNs() - identity.modifiedNs < kStampStep;
}

}  // namespace tagfmt
