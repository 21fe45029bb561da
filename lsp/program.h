// tagfmt-lsp as a program: its few options, then the loop on standard
// input and output.
#pragma once

namespace tagfmt::lsp {

// The whole program; returns the exit status.
int runLanguageServer(int argumentCount, char** arguments);

}  // namespace tagfmt::lsp
