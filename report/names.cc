// File names made safe to print.
#include "report/names.h"

#include <algorithm>

namespace tagfmt {

namespace {

bool isControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 character at `at`, or 0.
std::size_t utf8Length(std::string_view text, std::size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                             : lead >= 0xE0                 ? 3
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                                                            : 0;
  if (length == 0 || text.size() - at < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!isContinuation(static_cast<unsigned char>(text[at + i]))) return 0;
  }
  return length;
}

// How many bytes at `at` a terminal may take as a control: a C0 byte or
// DEL; a C1 control (U+0080 to U+009F) in UTF-8; or a lone byte from 0x80
// to 0x9F, which a terminal in an 8-bit code reads as one. 0 for others.
std::size_t controlLength(std::string_view text, std::size_t at) {
  if (isControl(text[at])) return 1;
  const auto byte = static_cast<unsigned char>(text[at]);
  if (byte < 0x80) return 0;
  const std::size_t length = utf8Length(text, at);
  if (length == 2 && byte == 0xC2 &&
      static_cast<unsigned char>(text[at + 1]) < 0xA0) {
    return 2;
  }
  if (length == 0 && byte <= 0x9F) return 1;
  return 0;
}

// The bytes to step over at `at`: a whole UTF-8 character, else one byte.
std::size_t stepAt(std::string_view text, std::size_t at) {
  return std::max<std::size_t>(1, utf8Length(text, at));
}

bool holdsControl(std::string_view name) {
  for (std::size_t at = 0; at < name.size(); at += stepAt(name, at)) {
    if (controlLength(name, at) > 0) return true;
  }
  return false;
}

}  // namespace

std::string printableName(std::string_view name) {
  if (!holdsControl(name)) return std::string(name);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "$'";
  for (std::size_t at = 0; at < name.size();) {
    const char c = name[at];
    const std::size_t control = controlLength(name, at);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\\' || c == '\'') {
      out += '\\';
      out += c;
    } else if (control > 0) {
      for (std::size_t i = 0; i < control; ++i) {
        const auto byte = static_cast<unsigned char>(name[at + i]);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
      }
      at += control;
      continue;
    } else {
      const std::size_t step = stepAt(name, at);
      out.append(name.substr(at, step));
      at += step;
      continue;
    }
    ++at;
  }
  out += '\'';
  return out;
}

std::size_t utf8SequenceLength(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [&](std::size_t i) {
    return static_cast<unsigned char>(text[i]);
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  // The ranges of the second byte rule out overlong forms and surrogates.
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace tagfmt
