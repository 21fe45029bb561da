// tagfmt-lsp's options.
#include "lsp/program.h"

#include <cstdio>
#include <exception>
#include <string>
#include <string_view>

#include "lsp/serve.h"
#include "report/names.h"

#ifndef TAGFMT_VERSION
#define TAGFMT_VERSION "0"
#endif

namespace tagfmt::lsp {

namespace {

constexpr char kUsage[] =
    "usage: tagfmt-lsp [--stdio] [--config FILE | --no-config] "
    "[--force-exclude]\n";

// Reads the words of the command line into `config`. Returns -1 to serve,
// or the exit status once help, the version or a usage error is said.
int readCommandLine(int argumentCount, char** arguments, ServerConfig& config) {
  unsigned configs = 0;
  for (int i = 1; i < argumentCount; ++i) {
    const std::string_view word = arguments[i];
    if (word == "--stdio") continue;  // what many clients pass
    if (word == "--version") {
      std::printf("tagfmt-lsp %s\n", TAGFMT_VERSION);
      return 0;
    }
    if (word == "--help") {
      std::printf(
          "%s"
          "A language server for tagfmt: speaks the Language Server Protocol "
          "on\nstandard input and output.\n"
          "  --config FILE     take the settings from FILE, not .tagfmt.toml "
          "files\n"
          "  --no-config       read no .tagfmt.toml\n"
          "  --force-exclude   leave alone documents the config excludes\n",
          kUsage);
      return 0;
    }
    if (word == "--force-exclude") {
      config.forceExclude = true;
    } else if (word == "--no-config") {
      config.source = {ConfigChoice::kNone, {}};
      ++configs;
    } else if (word == "--config" && i + 1 < argumentCount) {
      config.source = {ConfigChoice::kFile, arguments[++i]};
      ++configs;
    } else if (word.starts_with("--config=")) {
      config.source = {ConfigChoice::kFile, std::string(word.substr(9))};
      ++configs;
    } else {
      if (word == "--config") {
        std::fprintf(stderr, "tagfmt-lsp: --config needs a value\n%s", kUsage);
      } else {
        std::fprintf(stderr, "tagfmt-lsp: unknown option %s\n%s",
                     printableName(word).c_str(), kUsage);
      }
      return 2;
    }
  }
  if (configs > 1) {
    std::fprintf(stderr, "tagfmt-lsp: give --config or --no-config once\n%s",
                 kUsage);
    return 2;
  }
  return -1;
}

}  // namespace

int runLanguageServer(int argumentCount, char** arguments) {
  ServerConfig config{{ConfigChoice::kLookUp, {}}, false};
  if (const int said = readCommandLine(argumentCount, arguments, config);
      said >= 0) {
    return said;
  }
  try {
    return serve(config);
  } catch (const std::exception& problem) {
    std::fprintf(stderr, "tagfmt-lsp: %s\n", problem.what());
    return 1;
  }
}

}  // namespace tagfmt::lsp
