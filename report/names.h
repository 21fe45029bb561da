// File names as the programs print them: a name that holds control bytes
// could forge message lines or drive the terminal, so it is escaped.
#pragma once

#include <string>
#include <string_view>

namespace tagfmt {

// `name` as it is when it holds no control: no byte below 0x20, no 0x7F,
// no C1 control (U+0080 to U+009F, or a lone byte from 0x80 to 0x9F, which a
// terminal in an 8-bit code reads as one). Otherwise the shell's $'...'
// form, in which \n, \t, \r, \\, \' and \xHH stand for their bytes and
// nothing else is escaped, so the output holds no control and pastes back
// into a shell as the same name.
std::string printableName(std::string_view name);

// The length of the well-formed UTF-8 sequence at the start of `text`, or
// 0 when its first byte does not begin one (an overlong form, a surrogate,
// past U+10FFFF, or cut short).
std::size_t utf8SequenceLength(std::string_view text);

}  // namespace tagfmt
