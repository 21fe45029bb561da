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

constexpr char kHelp[] =
    "A language server for tagfmt: speaks the Language Server Protocol on\n"
    "standard input and output.\n"
    "  --config FILE     take the settings from FILE, not .tagfmt.toml files\n"
    "  --no-config       read no .tagfmt.toml\n"
    "  --force-exclude   leave alone documents the config excludes\n";

// Takes the option word at arguments[i], and the FILE of "--config FILE",
// into `config`; `configs` counts the config options. Returns "", or what
// is wrong with the word.
std::string takeOption(int argumentCount, char** arguments, int& i,
                       ServerConfig& config, unsigned& configs) {
  const std::string_view word = arguments[i];
  if (word == "--stdio") return {};  // what many clients pass
  if (word == "--force-exclude") {
    config.forceExclude = true;
    return {};
  }
  if (word == "--no-config") {
    config.source = {ConfigChoice::kNone, {}};
  } else if (word == "--config" && i + 1 < argumentCount) {
    config.source = {ConfigChoice::kFile, arguments[++i]};
  } else if (word.starts_with("--config=")) {
    config.source = {ConfigChoice::kFile, std::string(word.substr(9))};
  } else if (word == "--config") {
    return "--config needs a value";
  } else {
    return "unknown option " + printableName(word);
  }
  ++configs;
  return {};
}

// Reads the words of the command line into `config`. Returns -1 to serve,
// or the exit status once help, the version or a usage error is said.
int readCommandLine(int argumentCount, char** arguments, ServerConfig& config) {
  unsigned configs = 0;
  for (int i = 1; i < argumentCount; ++i) {
    const std::string_view word = arguments[i];
    if (word == "--version") {
      std::printf("tagfmt-lsp %s\n", TAGFMT_VERSION);
      return 0;
    }
    if (word == "--help") {
      std::printf("%s%s", kUsage, kHelp);
      return 0;
    }
    const std::string problem =
        takeOption(argumentCount, arguments, i, config, configs);
    if (!problem.empty()) {
      std::fprintf(stderr, "tagfmt-lsp: %s\n%s", problem.c_str(), kUsage);
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
