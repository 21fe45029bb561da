// Bytes that are not UTF-8, to and from code points of their own.
#include "lsp/json_bytes.h"

#include "lsp/documents.h"

namespace tagfmt::lsp {

namespace {

// The first two bytes of U+10FF00 to U+10FFFF in UTF-8, and the range of
// the third: F4 8F BC..BF, then one more.
constexpr unsigned char kLead = 0xF4;
constexpr unsigned char kSecond = 0x8F;
constexpr unsigned char kThirdLow = 0xBC;

}  // namespace

bool isUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8SequenceLength(text.substr(at));
    if (length == 0) return false;
    at += length;
  }
  return true;
}

std::string bytesToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = utf8SequenceLength(text.substr(at));
    if (length > 0) {
      out.append(text.substr(at, length));
      at += length;
      continue;
    }
    const auto byte = static_cast<unsigned char>(text[at++]);
    out += static_cast<char>(kLead);
    out += static_cast<char>(kSecond);
    out += static_cast<char>(kThirdLow + (byte >> 6));
    out += static_cast<char>(0x80 | (byte & 0x3F));
  }
  return out;
}

std::string utf8ToBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = [&](std::size_t i) {
      return static_cast<unsigned char>(text[at + i]);
    };
    if (byte(0) == kLead && at + 3 < text.size() && byte(1) == kSecond &&
        byte(2) >= kThirdLow && byte(2) <= kThirdLow + 3 && byte(3) >= 0x80 &&
        byte(3) <= 0xBF) {
      out += static_cast<char>(((byte(2) - kThirdLow) << 6) | (byte(3) & 0x3F));
      at += 3;
      continue;
    }
    out += text[at];
  }
  return out;
}

}  // namespace tagfmt::lsp
