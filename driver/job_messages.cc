// A file job's result as a report.
#include "driver/job_messages.h"

#include "format/decision.h"
#include "report/tagfmt_wording.h"

namespace tagfmt {

namespace {

// What stands in for the system's reason when it gave none.
std::string_view reasonOf(const JobResult& result) {
  if (result.osError != 0) return {};
  switch (result.read) {
    case JobRead::kCannotOpen:
      return kNotARegularFile;
    case JobRead::kCannotRead:
      return kChangedWhileRead;
    case JobRead::kOk:
      break;
    default:
      return {};
  }
  if (result.outcome != TextOutcome::kChanged ||
      result.write == JobWrite::kNone || result.write == JobWrite::kWritten) {
    return {};
  }
  return result.write == JobWrite::kBackupFailed ? kBackupNotWritten
                                                 : kChangedSinceRead;
}

}  // namespace

FileReport jobReport(const JobResult& result) {
  FileReport report;
  report.path = result.path;
  report.read = result.read;
  report.outcome = result.outcome;
  report.write = result.write;
  report.osError = result.osError;
  report.reason = reasonOf(result);
  report.backupPath = result.backupPath;
  if (result.outcome == TextOutcome::kFaults) report.faults = result.faults;
  report.notes = result.notes;
  return report;
}

std::string jobMessages(const JobResult& result) {
  return tagfmtLines(jobReport(result));
}

}  // namespace tagfmt
