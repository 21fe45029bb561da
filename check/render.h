// What tagfmt-check prints about one file in each mode: the report's plain
// lines or workflow commands, its name, its diff or its tidied text.
#pragma once

#include <string>
#include <string_view>

#include "check/command_line.h"
#include "check/unified_diff.h"
#include "report/check_output.h"

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
  // After `out` on standard output, for --stdout the text and for --diff
  // the diff of the original to it under `diffPath`: written as they are
  // made, from views of the report's text or of the original, since a copy
  // of a large page or of its diff costs its size.
  std::string_view text = {};
  bool diff = false;
  std::string diffPath = {};
  bool colour = false;
};

// The output for one file, said by the name `name` (already printable):
// for check mode and --fix the file's state, faults and notes; for -l its
// name; for --diff the diff of `original` to the tidied text; for --stdout
// the text itself. What is wrong goes to standard error except in check
// mode and --fix.
FileOutput renderFile(const std::string& name, std::string_view original,
                      const FileReport& report, OutputMode mode,
                      const RenderStyle& style = {});

// Hands on what follows `out` (the text or the diff of `original` to it) a
// piece at a time.
void writeBody(const FileOutput& output, std::string_view original,
               const DiffSink& write);

}  // namespace tagfmt
