// --fix over tagfmt's file job: the job reads, decides and rewrites; this
// only turns what it did into tagfmt-check's states.
#include "check/fix.h"

#include "driver/driver.h"

namespace tagfmt {

FileCheck fixFile(const std::string& path, const RunOptions& options,
                  std::int64_t& openSeq, bool backup) {
  static_cast<void>(backup);
  FileCheck fixed;
  FileReport report(path);
  std::string said;
  report.capture = &said;
  processFile(path, options, openSeq, report);
  if (said.find("-> failed") != std::string::npos) {
    fixed.state = FileState::kCannotWrite;
  } else if (said.find("   writing " + path + "\n") != std::string::npos) {
    fixed.state = FileState::kTidied;
  }
  return fixed;
}

}  // namespace tagfmt
