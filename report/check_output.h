// tagfmt-check's emitters over a file's report: its plain lines, GitHub
// workflow commands and JSON value, and the run's summary.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "report/file_report.h"
#include "report/json.h"

namespace tagfmt {

// The plain line of a file that would be or was tidied, "NAME: would be
// tidied\n" or "NAME: tidied\n"; "" for the others. `name` is printable.
std::string stateLine(const std::string& name, const FileReport& report,
                      bool colour);

// For a file that was not checked, why, as said after "NAME: "; "" for a
// file that was checked.
std::string whyNotChecked(const FileReport& report);

// For a text that is not formatted, why, as the language server says it;
// "" for one it formats or leaves tidy.
std::string whyNotFormatted(const FileReport& report);

// The plain lines about faults, notes and a file that could not be checked.
std::string problemLines(const std::string& name, const FileReport& report,
                         bool colour);

// The same as workflow commands: faults as errors at their lines, notes as
// notices, and the file's state as an error (a notice when `fixing`) or a
// notice on the file.
std::string githubLines(const std::string& name, const FileReport& report,
                        bool fixing);

// The version of the JSON document's shape, docs/tagfmt-check.schema.json:
// a new one only for a change that could break a reader.
inline constexpr int kJsonVersion = 1;

// The verdict's code in the JSON document: "tidy", "would-tidy", "tidied",
// "refused", "unreadable" (cannot open or read) or "not-a-page" (not a
// page by its extension, or a folder with none).
const char* stateCode(FileVerdict verdict);

// The file as a value of the JSON document: {"path" (and "pathBytes" when
// it is not UTF-8, see putName), "state", "message" (the state as the plain
// lines say it), "reason" (when it could not be checked), "faults",
// "notes"}. `path` is the name as it is, not made printable.
Json fileJson(std::string_view path, const FileReport& report);

// The counts of a run.
struct Tally {
  std::size_t changed = 0;  // would be tidied, or tidied by --fix
  std::size_t refused = 0;
  std::size_t tidy = 0;
};

void count(Tally& tally, FileVerdict verdict);

// The summary line, "1 file would be tidied, 2 refused, 3 tidy\n" ("tidied"
// when `fixing`), and its JSON value, with the same keys in every mode:
// {"changed", "refused", "tidy"}.
std::string summaryLine(const Tally& tally, bool fixing);
Json summaryJson(const Tally& tally);

// The whole JSON document: {"version", "files", "summary"}.
Json checkJson(Json files, const Tally& tally);

// The text of a GitHub workflow command's message or property, escaped as
// the runner reads it.
std::string githubEscape(std::string_view text, bool property);

}  // namespace tagfmt
