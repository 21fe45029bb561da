// --fix over tagfmt's file job: the job reads, decides and rewrites; this
// only turns what it did into tagfmt-check's states.
#include "check/fix.h"

#include "driver/driver.h"

namespace tagfmt {

namespace {

FileCheck runJob(const std::string& path, const RunOptions& options,
                 std::int64_t& openSeq) {
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

}  // namespace

void fixAll(const std::vector<FileToCheck>& files, const CheckOptions& options,
            const FixSink& sink) {
  std::int64_t openSeq = 0;
  for (const FileToCheck& file : files) {
    FileCheck check = checkFile(file, options.run, openSeq);
    if (check.state != FileState::kWouldTidy) {
      openSeq += check.openCount;
      sink(file, check);
      continue;
    }
    FileCheck fixed = runJob(file.path, options.run, openSeq);
    if (fixed.state == FileState::kTidied) fixed.notes = std::move(check.notes);
    sink(file, fixed);
  }
}

}  // namespace tagfmt
