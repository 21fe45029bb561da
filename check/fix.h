// --fix: tagfmt's own file job on each file that would be tidied, with its
// guarantees (the unchanged-check, held signals, durability, owner and
// mode, the atomic replace where it applies), and no backup unless asked.
#pragma once

#include <functional>
#include <vector>

#include "check/check_file.h"
#include "check/command_line.h"
#include "check/file_walk.h"

namespace tagfmt {

// Receives what became of each file, in the order of the files.
using FixSink = std::function<void(const FileToCheck&, const FileReport&)>;

// Checks each of `files` and hands each one that would be tidied to
// tagfmt's file job, which reads, decides and rewrites it again itself.
// A file's report comes out tidied, tidy when it was tidy by the time the
// job read it, cannot write with the system's reason, or refused as the
// check or the job found it; the check's notes go with a tidied one.
void fixAll(const std::vector<FileToCheck>& files, const CheckOptions& options,
            const FixSink& sink);

}  // namespace tagfmt
