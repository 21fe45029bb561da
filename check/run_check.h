// tagfmt-check's run: the command line, the files checked in parallel and
// said in order, or tidied one by one with --fix.
#pragma once

namespace tagfmt {

// The whole run; returns the exit status.
int runCheck(int argumentCount, char** arguments);

}  // namespace tagfmt
