// The report value: built from a decision or a failed read, and the one
// mapping of its parts onto the verdict the front ends word.
#include "report/file_report.h"

namespace tagfmt {

const std::string_view kChangedWhileRead("it changed while it was read");
const std::string_view kChangedSinceRead("it changed since it was read");
const std::string_view kBackupNotWritten("the backup could not be written");
const std::string_view kNotARegularFile("not a regular file");

namespace {

FileVerdict verdictOfRead(ReadStatus read) {
  switch (read) {
    case ReadStatus::kCannotOpen:
      return FileVerdict::kCannotOpen;
    case ReadStatus::kCannotRead:
      return FileVerdict::kCannotRead;
    case ReadStatus::kNoMemory:
      return FileVerdict::kNoMemory;
    case ReadStatus::kTooLarge:
      return FileVerdict::kTooLarge;
    case ReadStatus::kNothingFound:
      return FileVerdict::kNothingFound;
    case ReadStatus::kNotAPage:
      return FileVerdict::kNotAPage;
    case ReadStatus::kOk:
      break;
  }
  return FileVerdict::kTidy;
}

}  // namespace

FileVerdict verdictOf(const FileReport& report) {
  if (report.read != ReadStatus::kOk) return verdictOfRead(report.read);
  switch (report.outcome) {
    case TextOutcome::kTidy:
      return FileVerdict::kTidy;
    case TextOutcome::kHasNul:
      return FileVerdict::kHasNul;
    case TextOutcome::kFaults:
      return FileVerdict::kFaults;
    case TextOutcome::kTooLarge:
      return FileVerdict::kNoMemory;
    case TextOutcome::kInternalError:
      return FileVerdict::kInternalError;
    case TextOutcome::kChanged:
      break;
  }
  switch (report.write) {
    case WriteStatus::kNone:
      return FileVerdict::kWouldTidy;
    case WriteStatus::kWritten:
      return FileVerdict::kTidied;
    default:
      return FileVerdict::kCannotWrite;
  }
}

bool isRefused(FileVerdict verdict) {
  return verdict != FileVerdict::kTidy && verdict != FileVerdict::kWouldTidy &&
         verdict != FileVerdict::kTidied;
}

FileReport reportOfDecision(std::string path, TextDecision&& decision,
                            bool keepTidied) {
  FileReport report;
  report.path = std::move(path);
  report.outcome = decision.outcome;
  report.faults = std::move(decision.faults);
  // Notes explain a refusal or a change; a tidy text has none to give.
  if (decision.outcome == TextOutcome::kFaults ||
      decision.outcome == TextOutcome::kChanged) {
    report.notes = std::move(decision.notes);
  }
  if (keepTidied) report.tidied = std::move(decision.tidied);
  return report;
}

FileReport reportOfRead(std::string path, ReadStatus read, int osError,
                        std::string reason) {
  FileReport report;
  report.path = std::move(path);
  report.read = read;
  report.osError = osError;
  report.reason = std::move(reason);
  return report;
}

std::vector<const Note*> notesOn(const FileReport& report, std::size_t fault) {
  std::vector<const Note*> notes;
  for (const Note& note : report.notes) {
    if (note.fault == fault) notes.push_back(&note);
  }
  return notes;
}

}  // namespace tagfmt
