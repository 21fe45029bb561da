// Document bytes that are not UTF-8, carried through JSON strings. Some
// clients send a buffer's bytes as they stand, which strict JSON cannot
// hold; each such byte travels inside the server as a code point of its
// own at the top of the last private-use plane, and leaves as the byte.
#pragma once

#include <string>
#include <string_view>

namespace tagfmt::lsp {

// True when `text` is well-formed UTF-8 throughout.
bool isUtf8(std::string_view text);

// `text` with each byte that does not begin well-formed UTF-8 written as
// the code point U+10FF00 plus the byte.
std::string bytesToUtf8(std::string_view text);

// The reverse: each such code point back to its byte.
std::string utf8ToBytes(std::string_view text);

}  // namespace tagfmt::lsp
