// Edits applied to a buffer.
#include "lsp/edits.h"

namespace tagfmt::lsp {

std::string applyEdits(std::string_view before,
                       const std::vector<ByteEdit>& edits) {
  std::string result;
  std::size_t at = 0;
  for (const ByteEdit& edit : edits) {
    result.append(before.substr(at, edit.from - at));
    result += edit.text;
    at = edit.to;
  }
  result.append(before.substr(at));
  return result;
}

}  // namespace tagfmt::lsp
