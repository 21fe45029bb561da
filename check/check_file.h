// The check of one file: what tagfmt would do to it, worked out from its
// bytes, which are read once and held no longer than needed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "check/file_walk.h"
#include "driver/file_bytes.h"
#include "driver/file_job.h"
#include "format/format.h"
#include "report/file_report.h"

namespace tagfmt {

// What tagfmt would do to one file: its report, and how far the file moves
// the run's openSeq.
struct FileCheck {
  FileReport report;
  std::int64_t openCount = 0;
};

// Checks the bytes `original` as tagfmt would take them with the run's
// openSeq at `openSeq` before this file; the tidied text is kept only when
// `keepTidied` is set.
FileCheck checkText(std::string_view original, const RunOptions& options,
                    std::int64_t openSeq, bool keepTidied = true);

// The bytes of one file or of standard input, as read.
class ReadText {
 public:
  std::string_view view() const {
    return fromFile_ ? bytes_.view() : std::string_view(copy_);
  }
  // False once a mapped file was found cut short under the reader.
  bool intact() const { return !fromFile_ || bytes_.intact(); }
  // Lets the bytes go.
  void release() {
    bytes_.release();
    std::string().swap(copy_);
  }

 private:
  friend bool readFileToCheck(const FileToCheck&, ReadText&, FileCheck&);
  friend FileCheck checkedByJob(const FileToCheck&, const RunOptions&,
                                std::int64_t, ReadText&, bool);
  FileBytes bytes_;
  std::string copy_;  // standard input
  bool fromFile_ = false;
};

// Reads the file (standard input for kStandardInput) into `text`; returns
// false, with the report's status and reason set in `check`, when it cannot
// or when what it read already decides the check: a NUL byte, found without
// reading further, or more than kLargestFile bytes.
bool readFileToCheck(const FileToCheck& file, ReadText& text, FileCheck& check);

// Sets in `report` why the file `path` could not be opened when the system
// gave no error number: it is not a regular file, or not a link the tool
// follows.
void explainCannotOpen(const std::string& path, FileReport& report);

// The check of a file found cut short, or changed, under its reader.
FileCheck cutShort();

// The report on a file job's result as tagfmt-check gives it, saying why a
// file could not be opened where the system gave no reason.
FileReport checkReport(const JobResult& result);

// Checks the file `file` (not standard input) through the file job's check
// mode, as tagfmt would read and decide it, with the cannot-open reasons
// of readFileToCheck; its bytes stay in `text` unless it is refused, and
// the tidied text is kept only when `keepTidied` is set.
FileCheck checkedByJob(const FileToCheck& file, const RunOptions& options,
                       std::int64_t openSeq, ReadText& text, bool keepTidied);

// Reads standard input, `stream`, into `bytes` until its end, its first NUL
// byte or kLargestFile bytes, whichever comes first, reading no further.
// Returns kTidy once it read to the end, else kHasNul, kTooLarge or
// kCannotRead.
FileVerdict readStream(std::FILE* stream, std::string& bytes, int& osError,
                       std::uint64_t limit = kLargestFile);

}  // namespace tagfmt
