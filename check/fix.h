// --fix: tagfmt's own file job on each file that would be tidied, with its
// guarantees (the unchanged-check, held signals, durability, owner and
// mode), and no backup unless asked for.
#pragma once

#include <cstdint>

#include "check/check_file.h"

namespace tagfmt {

// Runs tagfmt's file job on `path`, which the check found would be tidied,
// with the run's openSeq at `openSeq` (moved on by the job). Returns what
// became of it: kTidied, kTidy when it was tidy by the time the job read
// it, kCannotWrite with the system's reason, or the job's own refusal
// (faults, NUL byte, no memory, cannot open or read).
FileCheck fixFile(const std::string& path, const RunOptions& options,
                  std::int64_t& openSeq, bool backup);

}  // namespace tagfmt
