// The command-line driver: option words and one file job per other word.
#include <cstdio>
#include <string_view>

#include "driver/driver.h"

namespace tagfmt {

int runCommandLine(int argumentCount, const char* const* arguments) {
  RunOptions options;
  std::int64_t openSeq = 0;  // numbers pair markers across the whole run
  JobBatch batch;
  for (int i = 1; i < argumentCount; ++i) {
    const std::string_view word = arguments[i];
    if (word == "+") {
      options.markerMode = true;
    } else if (word == "-") {
      options.markerMode = false;
    } else if (word == "-w") {
      options.lineEndsOnly = true;
    } else {
      const FileReport report(word);
      processFileInBatch(std::string(word), options, openSeq, report, batch);
    }
  }
  commitBatch(batch);
  std::fflush(stdout);
  return 0;
}

}  // namespace tagfmt
