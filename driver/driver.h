// The command-line driver and the file job: everything the tool does to the
// files it is given, and all of its file I/O.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

struct PendingJob;

// File jobs that wait to rewrite their files until their backups, written
// meanwhile, are made durable together; and anything said after them.
struct JobBatch {
  JobBatch();
  ~JobBatch();
  JobBatch(const JobBatch&) = delete;
  JobBatch& operator=(const JobBatch&) = delete;

  std::vector<std::unique_ptr<PendingJob>> jobs;  // in command-line order
  std::size_t writing = 0;                        // jobs whose backup is staged
  std::size_t bytes = 0;                          // text those jobs hold
};

// processFile's work, but a file to rewrite joins `batch` with its backup
// written and waits there; the batch is committed first whenever a waiting
// job could change what this one sees, and after it when it is full or
// nothing in it waits. What is said comes out in command-line order.
void processFileInBatch(const std::string& path, const RunOptions& options,
                        std::int64_t& openSeq, const FileReport& report,
                        JobBatch& batch);

// Makes the batch's backups durable with as few syncs as the platform
// allows, gives them their names, then rewrites each file in order and
// prints what each job said. A sync that fails fails every job in the
// batch, with its file untouched.
void commitBatch(JobBatch& batch);

// The backup name for `path`: its final component's part from the last "."
// on replaced by ".bak", or ".bak" appended when that component has no ".".
std::string backupNameFor(const std::string& path);

}  // namespace tagfmt
