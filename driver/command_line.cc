// The command-line driver: option words and one file job per other word.
#include <cstdio>
#include <string_view>

#include "driver/driver.h"
#include "driver/file_job.h"
#include "driver/job_messages.h"
#include "format/format.h"

namespace tagfmt {

namespace {

// Writes one job's messages out at once, so that a run killed later has
// already said everything about the files it finished.
void printResult(const JobResult& result) {
  const std::string said = jobMessages(result);
  if (said.empty()) return;
  std::fwrite(said.data(), 1, said.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int runCommandLine(int argumentCount, const char* const* arguments) {
  RunOptions options;
  std::int64_t openSeq = 0;  // numbers pair markers across the whole run
  JobBatch batch(JobOptions{}, printResult);
  for (int i = 1; i < argumentCount; ++i) {
    const std::string_view word = arguments[i];
    if (word == "+") {
      options.markerMode = true;
    } else if (word == "-") {
      options.markerMode = false;
    } else if (word == "-w") {
      options.lineEndsOnly = true;
    } else {
      batch.add(std::string(word), options, openSeq);
    }
  }
  batch.commit();
  return 0;
}

}  // namespace tagfmt
