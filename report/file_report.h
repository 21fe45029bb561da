// One file's report: what became of it, built once from the decision on its
// text or from its file job, for every front end's emitter to word.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/decision.h"
#include "format/explain.h"
#include "format/format.h"

namespace tagfmt {

// How getting the file's bytes went.
enum class ReadStatus {
  kOk,            // read whole; the outcome says what the text asks for
  kCannotOpen,    // no regular file could be opened under the name
  kCannotRead,    // opened, but reading failed or the file changed meanwhile
  kNoMemory,      // too little memory to go on; nothing was written
  kTooLarge,      // larger than the checker takes; not read
  kNothingFound,  // a folder named on the command line held no page
  kNotAPage,      // named, but its extension is not a page's; not read
};

// How far writing went, for a text whose outcome is kChanged.
enum class WriteStatus {
  kNone,          // nothing was to be written
  kRefused,       // nothing written: the file changed since it was read, no
                  // backup name could be had, or the folder took no file
  kCutShort,      // nothing written: the file was cut short under the job
  kBackupFailed,  // the backup could not be written, named or made durable;
                  // the file and any previous backup are as they were
  kFailed,        // the backup was made; the rewrite failed or found the
                  // file changed, and the file holds its old bytes
  kWritten,       // the backup (when asked for) and the file were written
};

// Everything the programs say about one file, in one value.
struct FileReport {
  std::string path;  // as given; emitters make it printable
  ReadStatus read = ReadStatus::kOk;
  TextOutcome outcome = TextOutcome::kTidy;  // meaningful when read is kOk
  WriteStatus write = WriteStatus::kNone;
  // errno (on Windows set from GetLastError()) of the call that failed, 0 if
  // none, and what to say instead when it is 0.
  int osError = 0;
  std::string reason;
  // The backup's name once one was chosen.
  std::string backupPath;
  NestingFaults faults;  // kFaults: in the order they were found
  Notes notes;           // in the order the engine found them
  // kChanged: the text tagfmt writes, for the emitters that show changes.
  std::string tidied;
};

// What a report comes to, for the emitters that word a file by one state.
// This is the one place that maps reads, outcomes and writes onto states.
enum class FileVerdict {
  kTidy,
  kWouldTidy,
  kTidied,  // rewritten
  kFaults,  // refused for its nesting faults
  kCannotOpen,
  kCannotRead,
  kCannotWrite,  // the file job did not rewrite it
  kHasNul,
  kTooLarge,  // larger than the checker takes
  kNoMemory,  // the tidied text outgrew the engine's limit, or memory
  kNothingFound,
  kInternalError,  // the tidied text failed the check before use
  kNotAPage,       // not a page by its extension: never read or written
};

FileVerdict verdictOf(const FileReport& report);

// True for the verdicts that refuse a file: all but tidy and tidied.
bool isRefused(FileVerdict verdict);

// The report on `decision`, taken apart, for the file `path`; the tidied
// text is kept only when `keepTidied`.
FileReport reportOfDecision(std::string path, TextDecision&& decision,
                            bool keepTidied = true);

// The report on a file that could not be read: `read` is not kOk.
FileReport reportOfRead(std::string path, ReadStatus read, int osError = 0,
                        std::string reason = {});

// The notes on fault `fault` (kNoFault: on none), in order. Emitters say
// each fault's notes after it, then those on no fault.
std::vector<const Note*> notesOn(const FileReport& report, std::size_t fault);

// The largest file, and the most of standard input, that tagfmt-check
// takes: checking one needs about twice its size in memory.
inline constexpr std::uint64_t kLargestFile = std::uint64_t{4} << 30;

// The reasons a report gives when the system gave no error number.
extern const std::string_view kChangedWhileRead;  // cannot read
extern const std::string_view kChangedSinceRead;  // cannot write
extern const std::string_view kBackupNotWritten;  // cannot write
extern const std::string_view kNotARegularFile;   // cannot open

}  // namespace tagfmt
