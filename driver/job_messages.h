// A file job's result as a report, and tagfmt's messages worded from it.
#pragma once

#include <string>

#include "driver/file_job.h"
#include "report/file_report.h"

namespace tagfmt {

// The report on one job: its read, outcome and write, with the reason that
// stands in when the system gave no error number.
FileReport jobReport(const JobResult& result);

// Everything tagfmt says about one job (report/tagfmt_wording.h's tagfmtLines).
std::string jobMessages(const JobResult& result);

}  // namespace tagfmt
