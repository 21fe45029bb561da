// The per-file message channel.
#include "driver/run_types.h"

#include <cstdio>
#include <initializer_list>

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

void sayFaults(const NestingFaults& faults, FileReport& report) {
  for (const NestingFault& fault : faults) report.say(nestingMessage(fault));
}

}  // namespace tagfmt
