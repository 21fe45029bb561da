// The per-file message channel.
#include "driver/run_types.h"

#include <cstdio>

namespace tagfmt {

void FileReport::showName() {
  if (nameShown) return;
  nameShown = true;
  sayDirect(name);
  sayDirect("\n");
}

void FileReport::say(std::string_view text) {
  showName();
  sayDirect(text);
}

void FileReport::sayDirect(std::string_view text) const {
  if (capture != nullptr) {
    capture->append(text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

}  // namespace tagfmt
