// The check of one file: read once, decided by the engine's one decision.
#include "check/check_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "driver/file_job.h"
#include "driver/job_messages.h"
#include "driver/platform.h"
#include "format/decision.h"

namespace tagfmt {

void explainCannotOpen(const std::string& path, FileReport& report) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error) {
    report.osError = error.value();
    report.reason = error.message();
  } else if (fs::is_directory(status)) {
    report.osError = EISDIR;
  } else if (fs::is_symlink(fs::symlink_status(path, error))) {
    report.reason = "a symbolic link owned by someone else";
  } else if (!fs::is_regular_file(status)) {
    report.reason = kNotARegularFile;
  } else {
    report.reason = "refused";
  }
}

FileCheck checkText(std::string_view original, const RunOptions& options,
                    std::int64_t openSeq, bool keepTidied) {
  TextDecision decision = decideAndExplain(original, options, openSeq);
  FileCheck check;
  check.openCount = decision.openCount;
  check.report = reportOfDecision({}, std::move(decision), keepTidied);
  return check;
}

FileVerdict readStream(std::FILE* stream, std::string& bytes, int& osError,
                       std::uint64_t limit) {
  constexpr std::size_t kBlock = 65536;
  for (;;) {
    const std::size_t at = bytes.size();
    if (at > limit) return FileVerdict::kTooLarge;
    bytes.resize(at + kBlock);
    const std::size_t count = std::fread(bytes.data() + at, 1, kBlock, stream);
    bytes.resize(at + count);
    if (std::memchr(bytes.data() + at, '\0', count) != nullptr) {
      return FileVerdict::kHasNul;
    }
    if (count < kBlock) break;
  }
  if (std::ferror(stream) != 0) {
    osError = errno;
    return FileVerdict::kCannotRead;
  }
  return bytes.size() > limit ? FileVerdict::kTooLarge : FileVerdict::kTidy;
}

namespace {

bool refuse(FileCheck& check, ReadStatus read, std::string_view reason = {}) {
  check.report.read = read;
  check.report.reason = reason;
  return false;
}

// A text that is refused for its NUL byte before it is decided.
bool refuseNul(FileCheck& check) {
  check.report.outcome = TextOutcome::kHasNul;
  return false;
}

// What readStream found, in the report.
bool streamRead(FileVerdict read, FileCheck& check) {
  switch (read) {
    case FileVerdict::kTidy:
      return true;
    case FileVerdict::kHasNul:
      return refuseNul(check);
    case FileVerdict::kTooLarge:
      return refuse(check, ReadStatus::kTooLarge);
    default:
      return refuse(check, ReadStatus::kCannotRead);
  }
}

// The checks on a whole file's bytes before they are decided: a mapped file
// is read no further than its first NUL byte.
bool checkBytesRead(ReadText& text, FileCheck& check) {
  const std::string_view bytes = text.view();
  if (bytes.size() > kLargestFile) {
    text.release();
    return refuse(check, ReadStatus::kTooLarge);
  }
  if (std::memchr(bytes.data(), '\0', bytes.size()) != nullptr) {
    const bool cut = !text.intact();
    text.release();
    return cut ? refuse(check, ReadStatus::kCannotRead, kChangedWhileRead)
               : refuseNul(check);
  }
  return true;
}

}  // namespace

bool readFileToCheck(const FileToCheck& file, ReadText& text,
                     FileCheck& check) {
  check.report.path = file.path;
  if (file.kind == WalkEntry::kStandardInput) {
    const FileVerdict read =
        readStream(stdin, text.copy_, check.report.osError);
    if (read != FileVerdict::kTidy) text.release();
    return streamRead(read, check);
  }
  text.fromFile_ = true;
  std::error_code sizeError;
  if (std::filesystem::is_regular_file(file.path, sizeError)) {
    if (std::filesystem::file_size(file.path, sizeError) > kLargestFile) {
      return refuse(check, ReadStatus::kTooLarge);
    }
  }
  JobFiles job;
  errno = 0;
  const ReadResult read = openAndRead(file.path, job, text.bytes_);
  const int error = errno;
  if (read == ReadResult::kCannotOpen) {
    refuse(check, ReadStatus::kCannotOpen);
    check.report.osError = error == ELOOP ? 0 : error;
    if (check.report.osError == 0) explainCannotOpen(file.path, check.report);
    return false;
  }
  if (read == ReadResult::kCannotRead) {
    check.report.osError = error;
    return refuse(check, ReadStatus::kCannotRead,
                  error == 0 ? kChangedWhileRead : "");
  }
  return checkBytesRead(text, check);
}

FileReport checkReport(const JobResult& result) {
  FileReport report = jobReport(result);
  if (report.read == ReadStatus::kCannotOpen &&
      (result.osError == 0 || result.osError == ELOOP)) {
    report.osError = 0;
    report.reason.clear();
    explainCannotOpen(report.path, report);
  }
  return report;
}

FileCheck checkedByJob(const FileToCheck& file, const RunOptions& options,
                       std::int64_t openSeq, ReadText& text, bool keepTidied) {
  FileCheck check;
  std::error_code error;
  if (std::filesystem::is_regular_file(file.path, error) &&
      std::filesystem::file_size(file.path, error) > kLargestFile) {
    check.report = reportOfRead(file.path, ReadStatus::kTooLarge);
    return check;
  }
  text.fromFile_ = true;
  JobResult result =
      checkJob(file.path, options, openSeq, text.bytes_, keepTidied);
  check.openCount = result.openCount;
  check.report = checkReport(result);
  check.report.tidied = std::move(result.tidied);
  if (isRefused(verdictOf(check.report))) text.release();
  return check;
}

FileCheck cutShort() {
  FileCheck check;
  check.report.read = ReadStatus::kCannotRead;
  check.report.reason = kChangedWhileRead;
  return check;
}

}  // namespace tagfmt
