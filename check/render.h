// What tagfmt-check says about one file and about the run: plain lines,
// GitHub workflow commands, or values of its JSON document.
#pragma once

#include <string>
#include <string_view>

#include "check/check_file.h"
#include "check/command_line.h"
#include "report/json.h"

namespace tagfmt {

// How lines are written: the format, and whether each stream is coloured.
struct RenderStyle {
  OutputFormat format = OutputFormat::kPlain;
  bool colorOut = false;  // standard output takes colour
  bool colorErr = false;  // standard error takes colour
};

// What the run prints for one file: on standard output and on standard
// error.
struct FileOutput {
  std::string out;
  std::string err;
};

// The output for one file, said by the name `name` (already printable):
// for check mode and --fix the file's state, faults and notes; for -l its
// name; for --diff the diff of `original` to the tidied text; for --stdout
// the text itself. What is wrong goes to standard error except in check
// mode and --fix.
FileOutput renderFile(const std::string& name, std::string_view original,
                      const FileCheck& check, OutputMode mode,
                      const RenderStyle& style = {});

// The file as a value of the JSON document: {"path", "state", "reason"
// (when it could not be checked), "faults", "notes"}.
Json fileJson(const std::string& name, const FileCheck& check);

// The counts of a run.
struct Tally {
  std::size_t changed = 0;  // would be tidied, or tidied by --fix
  std::size_t refused = 0;
  std::size_t tidy = 0;
};

void count(Tally& tally, FileState state);

// The summary line, "1 file would be tidied, 2 refused, 3 tidy\n" ("tidied"
// for --fix), and its JSON value.
std::string summaryLine(const Tally& tally, OutputMode mode);
Json summaryJson(const Tally& tally, OutputMode mode);

// The text of a GitHub workflow command's message or property, escaped as
// the runner reads it.
std::string githubEscape(std::string_view text, bool property);

}  // namespace tagfmt
