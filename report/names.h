// File names as the programs print them: a name that holds control bytes
// could forge message lines or drive the terminal, so it is escaped.
#pragma once

#include <string>
#include <string_view>

namespace tagfmt {

// `name` as it is when it holds no byte below 0x20 and no 0x7F; otherwise
// the shell's $'...' form, in which \n, \t, \r, \\, \' and \xHH stand for
// their bytes and nothing else is escaped, so the output holds no control
// byte and pastes back into a shell as the same name.
std::string printableName(std::string_view name);

}  // namespace tagfmt
