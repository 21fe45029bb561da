// tagfmt's messages about a file job.
#include "driver/job_messages.h"

#include "report/messages.h"
#include "report/names.h"

namespace tagfmt {

namespace {

// The lines after the name line for a text that was to be rewritten.
std::string writingMessages(const JobResult& result) {
  switch (result.write) {
    case JobWrite::kNone:
      return {};
    case JobWrite::kRefused:
      return std::string(kFailedMessage);
    case JobWrite::kCutShort:
      return std::string(kCannotReadMessage);
    case JobWrite::kBackupFailed:
      return writingMessage(printableName(result.backupPath)) +
             std::string(kFailedMessage);
    case JobWrite::kFailed:
      return writingMessage(printableName(result.backupPath)) +
             writingMessage(printableName(result.path)) +
             std::string(kFailedMessage);
    case JobWrite::kWritten:
      return writingMessage(printableName(result.backupPath)) +
             writingMessage(printableName(result.path));
  }
  return {};
}

}  // namespace

std::string jobMessages(const JobResult& result) {
  switch (result.read) {
    case JobRead::kCannotOpen:
      return std::string(kCannotOpenMessage);
    case JobRead::kCannotRead:
      return std::string(kCannotReadMessage);
    case JobRead::kNoMemory:
      return std::string(kNoMemoryMessage);
    case JobRead::kOk:
      break;
  }
  const std::string name = printableName(result.path) + "\n";
  switch (result.outcome) {
    case TextOutcome::kTidy:
      return {};
    case TextOutcome::kTooLarge:
      return std::string(kNoMemoryMessage);
    case TextOutcome::kHasNul:
      return name + std::string(kHasNulMessage);
    case TextOutcome::kInternalError:
      return name + std::string(kInternalErrorMessage);
    case TextOutcome::kFaults: {
      std::string said = name;
      for (const NestingFault& fault : result.faults) {
        said += nestingMessage(fault);
      }
      return said;
    }
    case TextOutcome::kChanged:
      break;
  }
  return name + writingMessages(result);
}

}  // namespace tagfmt
