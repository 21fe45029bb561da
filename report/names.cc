// File names made safe to print.
#include "report/names.h"

#include <algorithm>

namespace tagfmt {

namespace {

bool isControl(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

}  // namespace

std::string printableName(std::string_view name) {
  if (std::none_of(name.begin(), name.end(), isControl)) {
    return std::string(name);
  }
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "$'";
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\\' || c == '\'') {
      out += '\\';
      out += c;
    } else if (isControl(c)) {
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 0xF];
    } else {
      out += c;
    }
  }
  out += '\'';
  return out;
}

}  // namespace tagfmt
