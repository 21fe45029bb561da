// The check of one file: read once, decided by the engine's one decision.
#include "check/check_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>

#include "driver/platform.h"
#include "format/decision.h"

namespace tagfmt {

bool isRefused(FileState state) {
  return state != FileState::kTidy && state != FileState::kWouldTidy &&
         state != FileState::kTidied;
}

FileCheck checkText(std::string_view original, const RunOptions& options,
                    std::int64_t openSeq, bool keepTidied) {
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
      check.state = FileState::kNoMemory;
      break;
    case TextOutcome::kInternalError:
      check.state = FileState::kInternalError;
      break;
    case TextOutcome::kTidy:
      break;
    case TextOutcome::kChanged:
      check.state = FileState::kWouldTidy;
      check.notes = std::move(decision.notes);
      // Only the outputs that show it keep the text.
      if (!keepTidied) std::string().swap(check.tidied);
      break;
  }
  return check;
}

FileState readStream(std::FILE* stream, std::string& bytes, int& osError,
                     std::uint64_t limit) {
  constexpr std::size_t kBlock = 65536;
  for (;;) {
    const std::size_t at = bytes.size();
    if (at > limit) return FileState::kTooLarge;
    bytes.resize(at + kBlock);
    const std::size_t count = std::fread(bytes.data() + at, 1, kBlock, stream);
    bytes.resize(at + count);
    if (std::memchr(bytes.data() + at, '\0', count) != nullptr) {
      return FileState::kHasNul;
    }
    if (count < kBlock) break;
  }
  if (std::ferror(stream) != 0) {
    osError = errno;
    return FileState::kCannotRead;
  }
  return bytes.size() > limit ? FileState::kTooLarge : FileState::kTidy;
}

namespace {

// Why a file could not be opened when the system gave no error number: it
// is not a regular file, or not a link the tool follows.
void explainCannotOpen(const std::string& path, FileCheck& check) {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::file_status status = fs::status(path, error);
  if (error) {
    check.osError = error.value();
    check.reason = error.message();
  } else if (fs::is_directory(status)) {
    check.osError = EISDIR;
  } else if (fs::is_symlink(fs::symlink_status(path, error))) {
    check.reason = "a symbolic link owned by someone else";
  } else if (!fs::is_regular_file(status)) {
    check.reason = "not a regular file";
  } else {
    check.reason = "refused";
  }
}

bool refuse(FileCheck& check, FileState state) {
  check.state = state;
  return false;
}

}  // namespace

bool readFileToCheck(const FileToCheck& file, ReadText& text,
                     FileCheck& check) {
  if (file.kind == WalkEntry::kStandardInput) {
    const FileState read = readStream(stdin, text.copy_, check.osError);
    if (read != FileState::kTidy) text.release();
    return read == FileState::kTidy || refuse(check, read);
  }
  text.fromFile_ = true;
  std::error_code sizeError;
  if (std::filesystem::is_regular_file(file.path, sizeError)) {
    if (std::filesystem::file_size(file.path, sizeError) > kLargestFile) {
      return refuse(check, FileState::kTooLarge);
    }
  }
  JobFiles job;
  errno = 0;
  const ReadResult read = openAndRead(file.path, job, text.bytes_);
  const int error = errno;
  if (read == ReadResult::kCannotOpen) {
    check.osError = error == ELOOP ? 0 : error;
    if (check.osError == 0) explainCannotOpen(file.path, check);
    return refuse(check, FileState::kCannotOpen);
  }
  if (read == ReadResult::kCannotRead) {
    check.osError = error;
    if (error == 0) check.reason = "it changed while it was read";
    return refuse(check, FileState::kCannotRead);
  }
  // A mapped file is read no further than its first NUL byte.
  const std::string_view bytes = text.bytes_.view();
  if (bytes.size() > kLargestFile) {
    text.release();
    return refuse(check, FileState::kTooLarge);
  }
  if (std::memchr(bytes.data(), '\0', bytes.size()) != nullptr) {
    const bool cut = !text.bytes_.intact();
    text.release();
    if (cut) check.reason = "it changed while it was read";
    return refuse(check, cut ? FileState::kCannotRead : FileState::kHasNul);
  }
  return true;
}

FileCheck checkFile(const FileToCheck& file, const RunOptions& options,
                    std::int64_t openSeq) {
  FileCheck check;
  if (file.kind == WalkEntry::kNothingFound) {
    check.state = FileState::kNothingFound;
    return check;
  }
  try {
    ReadText text;
    if (!readFileToCheck(file, text, check)) return check;
    check = checkText(text.view(), options, openSeq, false);
    if (!text.intact()) {
      check = FileCheck{};
      check.state = FileState::kCannotRead;
      check.reason = "it changed while it was read";
    }
  } catch (const std::bad_alloc&) {
    check = FileCheck{};
    check.state = FileState::kNoMemory;
  }
  std::string().swap(check.tidied);
  return check;
}

}  // namespace tagfmt
