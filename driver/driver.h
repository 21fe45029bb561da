// tagfmt's command line: option words and one file job per other word.
#pragma once

namespace tagfmt {

// Walks the arguments left to right: "+", "-" and "-w" change the options
// for the names after them, every other word is a file to process. Each
// file's messages are written out as soon as its job ends. Returns the exit
// status, which is always 0.
int runCommandLine(int argumentCount, const char* const* arguments);

}  // namespace tagfmt
