// tagfmt-check: what tagfmt would do to each file, said without writing
// anything. Its command line, its file list, the check of one file, the
// diff and the run.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "format/explain.h"
#include "format/format.h"

namespace tagfmt {

enum class OutputMode {
  kCheck,   // a line per file that would be tidied and per fault
  kList,    // only the names of the files that would be tidied
  kDiff,    // a unified diff of what tagfmt would write
  kStdout,  // the bytes tagfmt would leave in the one file named
};

struct CheckOptions {
  OutputMode mode = OutputMode::kCheck;
  RunOptions run;
  unsigned jobs = 0;  // 0: one per core
  bool help = false;
  bool version = false;
  std::vector<std::string> paths;
};

// Reads the words after the program's name into `options`. Returns "" when
// they make sense, else what is wrong with them, in one line.
std::string parseCheckLine(const std::vector<std::string>& words,
                           CheckOptions& options);

// The short usage shown after a usage error, and the --help text.
std::string_view usageText();
std::string_view helpText();

// One file of the run; "-" is standard input.
struct FileToCheck {
  std::string path;
  bool standardInput = false;
};

// The files the paths name, in order: a folder is searched recursively, in
// sorted order, for *.htm, *.html, *.xsl and *.xslt in any letter case,
// skipping hidden folders; any other path is taken as a file, even when it
// does not exist (its check then says it cannot be opened).
std::vector<FileToCheck> listFiles(const std::vector<std::string>& paths);

// True when `path` names a folder.
bool isFolder(const std::string& path);

enum class FileState {
  kTidy,
  kWouldTidy,
  kFaults,  // refused for its nesting faults
  kCannotOpen,
  kCannotRead,
  kHasNul,
  kTooLarge,
};

// What tagfmt would do to one file.
struct FileCheck {
  FileState state = FileState::kTidy;
  std::string tidied;  // kWouldTidy: the bytes tagfmt would write
  NestingFaults faults;
  Notes notes;  // for the faults, and run-ons that cover much of the file
  std::int64_t openCount = 0;  // how far the file moves the run's openSeq
};

// Checks the bytes `original` as tagfmt would take them with the run's
// openSeq at `openSeq` before this file.
FileCheck checkText(std::string_view original, const RunOptions& options,
                    std::int64_t openSeq);

// Reads the file (standard input for "-") into `original`; returns false,
// with the state set in `check`, when it cannot.
bool readFileToCheck(const FileToCheck& file, std::string& original,
                     FileCheck& check);

// What the run prints for one file: on standard output and on standard
// error.
struct FileOutput {
  std::string out;
  std::string err;
};

FileOutput renderFile(const std::string& path, std::string_view original,
                      const FileCheck& check, OutputMode mode);

// A unified diff ("--- a/PATH", "+++ b/PATH") that turns `before` into
// `after`, line ends included; empty when they are equal.
std::string unifiedDiff(std::string_view path, std::string_view before,
                        std::string_view after);

// The whole run; returns the exit status.
int runCheck(int argumentCount, char** arguments);

}  // namespace tagfmt
