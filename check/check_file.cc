// The check of one file: what tagfmt would do to it, and the lines that say
// so.
#include <cstdio>

#include "check/check.h"
#include "driver/platform.h"
#include "format/decision.h"
#include "report/wording.h"

namespace tagfmt {

FileCheck checkText(std::string_view original, const RunOptions& options,
                    std::int64_t openSeq) {
  FileCheck check;
  TextDecision decision = decideAndExplain(original, options, openSeq);
  check.tidied = std::move(decision.tidied);
  check.faults = std::move(decision.faults);
  check.openCount = decision.openCount;
  switch (decision.outcome) {
    case TextOutcome::kHasNul:
      check.state = FileState::kHasNul;
      break;
    case TextOutcome::kFaults:
      check.state = FileState::kFaults;
      check.notes = std::move(decision.notes);
      break;
    case TextOutcome::kTooLarge:
      check.state = FileState::kTooLarge;
      break;
    case TextOutcome::kTidy:
      break;
    case TextOutcome::kChanged:
      check.state = FileState::kWouldTidy;
      check.notes = std::move(decision.notes);
      break;
  }
  return check;
}

namespace {

bool readStandardInput(std::string& bytes) {
  char block[65536];
  std::size_t count = 0;
  while ((count = std::fread(block, 1, sizeof block, stdin)) > 0) {
    bytes.append(block, count);
  }
  return std::ferror(stdin) == 0;
}

}  // namespace

bool readFileToCheck(const FileToCheck& file, std::string& original,
                     FileCheck& check) {
  if (file.standardInput) {
    if (readStandardInput(original)) return true;
    check.state = FileState::kCannotRead;
    return false;
  }
  JobFiles job;
  FileBytes bytes;
  switch (openAndRead(file.path, job, bytes)) {
    case ReadResult::kOk:
      // Checks run out of order and keep the text a while: a copy of their
      // own, which no other program can cut short under them.
      original.assign(bytes.view());
      if (bytes.intact()) return true;
      check.state = FileState::kCannotRead;
      return false;
    case ReadResult::kCannotOpen:
      check.state = FileState::kCannotOpen;
      return false;
    case ReadResult::kCannotRead:
      check.state = FileState::kCannotRead;
      return false;
  }
  return false;
}

namespace {

// The lines about faults, notes and files that could not be checked.
std::string problemLines(const std::string& path, const FileCheck& check) {
  switch (check.state) {
    case FileState::kCannotOpen:
      return path + ": cannot open\n";
    case FileState::kCannotRead:
      return path + ": cannot read\n";
    case FileState::kHasNul:
      return path + ": contains a NUL byte, not checked\n";
    case FileState::kTooLarge:
      return path + ": no memory, not checked\n";
    case FileState::kTidy:
      return {};
    case FileState::kFaults:
    case FileState::kWouldTidy:
      break;
  }
  std::string lines;
  for (std::size_t i = 0; i < check.faults.size(); ++i) {
    lines += faultLine(path, check.faults[i]);
    for (const Note& note : check.notes) {
      if (note.fault == i) lines += noteLine(path, note);
    }
  }
  for (const Note& note : check.notes) {
    if (note.fault == kNoFault) lines += noteLine(path, note);
  }
  return lines;
}

}  // namespace

FileOutput renderFile(const std::string& path, std::string_view original,
                      const FileCheck& check, OutputMode mode) {
  const bool wouldTidy = check.state == FileState::kWouldTidy;
  std::string problems = problemLines(path, check);
  switch (mode) {
    case OutputMode::kCheck:
      return {(wouldTidy ? path + ": would be tidied\n" : "") + problems, ""};
    case OutputMode::kList:
      return {wouldTidy ? path + "\n" : "", std::move(problems)};
    case OutputMode::kDiff:
      return {wouldTidy ? unifiedDiff(path, original, check.tidied) : "",
              std::move(problems)};
    case OutputMode::kStdout:
      if (wouldTidy) return {check.tidied, ""};
      if (check.state == FileState::kTidy) return {std::string(original), ""};
      return {"", std::move(problems)};
  }
  return {};
}

}  // namespace tagfmt
