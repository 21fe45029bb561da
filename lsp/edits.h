// The few edits that turn a buffer into tagfmt's text, line by line, so
// that an editor keeps its cursor and marks on the lines that stay: the
// programs' one line diff.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "report/line_diff.h"

namespace tagfmt::lsp {

using ByteEdit = LineEdit;
using tagfmt::lineEdits;

}  // namespace tagfmt::lsp
