// Whether tagfmt-check's output streams take colour.
#pragma once

#include <cstdio>

#include "check/command_line.h"

namespace tagfmt {

// Colour on `stream`: as asked, or for auto on a terminal that takes it
// (NO_COLOR unset or empty, TERM not "dumb").
bool coloured(ColorChoice choice, std::FILE* stream);

}  // namespace tagfmt
