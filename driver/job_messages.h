// tagfmt's messages about a file job, worded from its result.
#pragma once

#include <string>

#include "driver/file_job.h"

namespace tagfmt {

// Everything tagfmt says about one job, each line ending in a line feed:
// the file's name line before the first message about it, then the fault
// or the "   writing" lines and what befell them; "" when there is nothing
// to say. "-> cannot open" and its kin stand alone, with no name line.
std::string jobMessages(const JobResult& result);

}  // namespace tagfmt
