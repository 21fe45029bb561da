// --fix: tagfmt's own file job on each file, with its
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

// Runs tagfmt's file job on each of `files`, which reads, decides,
// explains and rewrites it once. A file's report comes out tidied, tidy,
// cannot write with the system's reason, or refused as the job found it,
// with the notes on a tidied or refused one; a folder with no page and a
// file over kLargestFile are refused unread.
void fixAll(const std::vector<FileToCheck>& files, const CheckOptions& options,
            const FixSink& sink);

}  // namespace tagfmt
