// Test builds only: with TAGFMT_BREAK_TIDIED set, each tidied text loses its
// last byte that is not a blank or a line end, as a faulty pass would lose
// it, so that tests can see every front end refuse to use the text.
#include <cstdlib>

#include "format/seam.h"

namespace tagfmt {

void breakTidiedForTest(std::string& tidied) {
  if (std::getenv("TAGFMT_BREAK_TIDIED") == nullptr) return;
  const std::size_t last = tidied.find_last_not_of(" \t\v\f\r\n");
  if (last != std::string::npos) tidied.erase(last, 1);
}

}  // namespace tagfmt
