// tagfmt-lsp's options.
#include "lsp/program.h"

#include <cstdio>
#include <exception>
#include <string_view>

#include "lsp/serve.h"
#include "report/names.h"

#ifndef TAGFMT_VERSION
#define TAGFMT_VERSION "0"
#endif

namespace tagfmt::lsp {

int runLanguageServer(int argumentCount, char** arguments) {
  for (int i = 1; i < argumentCount; ++i) {
    const std::string_view word = arguments[i];
    if (word == "--stdio") continue;  // what many clients pass
    if (word == "--version") {
      std::printf("tagfmt-lsp %s\n", TAGFMT_VERSION);
      return 0;
    }
    if (word == "--help") {
      std::printf(
          "usage: tagfmt-lsp [--stdio]\n"
          "A language server for tagfmt: speaks the Language Server Protocol "
          "on\nstandard input and output.\n");
      return 0;
    }
    std::fprintf(stderr,
                 "tagfmt-lsp: unknown option %s\nusage: tagfmt-lsp [--stdio]\n",
                 printableName(word).c_str());
    return 2;
  }
  try {
    return serve();
  } catch (const std::exception& problem) {
    std::fprintf(stderr, "tagfmt-lsp: %s\n", problem.what());
    return 1;
  }
}

}  // namespace tagfmt::lsp
