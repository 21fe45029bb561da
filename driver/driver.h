// The command-line driver and the file job: everything the tool does to the
// files it is given, and all of its file I/O.
#pragma once

#include <cstdint>
#include <string>

#include "driver/run_types.h"

namespace tagfmt {

// Walks the arguments left to right: "+", "-" and "-w" change the options
// for the names after them, every other word is a file to process. Returns
// the exit status, which is always 0.
int runCommandLine(int argumentCount, const char* const* arguments);

// Reads the file at `path` whole, formats it (or, in line-ends-only mode,
// takes it as it is), normalises its line ends to CR LF and, when the result
// differs and nests soundly, keeps the old bytes in a backup and rewrites
// the file in place. Everything it has to say goes through `report`.
void processFile(const std::string& path, const RunOptions& options,
                 std::int64_t& openSeq, FileReport& report);

// The backup name for `path`: its final component's part from the last "."
// on replaced by ".bak", or ".bak" appended when that component has no ".".
std::string backupNameFor(const std::string& path);

}  // namespace tagfmt
