// tagfmt-lsp: tagfmt's checks and formatting for any editor that speaks the
// Language Server Protocol.
#include "lsp/program.h"

int main(int argc, char** argv) {
  return tagfmt::lsp::runLanguageServer(argc, argv);
}
