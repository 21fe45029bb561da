// Test builds only: stops the tool at a named step, so that a test can
// change the files under it and then let it go on.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/platform.h"

namespace tagfmt {

void pauseForTest(const char* step) {
  const char* const at = std::getenv("TAGFMT_PAUSE_AT");
  if (at == nullptr || std::strcmp(at, step) != 0) return;
  std::fflush(stdout);
  std::raise(SIGSTOP);
}

}  // namespace tagfmt
