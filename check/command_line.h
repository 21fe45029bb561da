// tagfmt-check's command line: what the options ask for, and the texts that
// explain them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/project_config.h"
#include "format/format.h"

namespace tagfmt {

enum class OutputMode {
  kCheck,   // a line per file that would be tidied and per fault
  kList,    // only the names of the files that would be tidied
  kDiff,    // a unified diff of what tagfmt would write
  kStdout,  // the bytes tagfmt would leave in the one file named
  kFix,     // tagfmt's file job on each file that would be tidied
};

// How check mode and --fix word their results.
enum class OutputFormat {
  kPlain,   // PATH:LINE: KIND: TEXT lines
  kJson,    // one JSON document
  kGithub,  // GitHub workflow commands
};

enum class ColorChoice { kAuto, kAlways, kNever };

struct CheckOptions {
  OutputMode mode = OutputMode::kCheck;
  OutputFormat format = OutputFormat::kPlain;
  ColorChoice color = ColorChoice::kAuto;
  RunOptions run;
  unsigned jobs = 0;  // 0: one per core
  bool help = false;
  bool version = false;
  bool quiet = false;         // no summary
  bool backup = false;        // --fix keeps a .bak as tagfmt does
  bool noIgnore = false;      // walk folders without git's ignore rules
  bool nulEnded = false;      // -z: -l's names as they are, each ending in NUL
  bool forceExclude = false;  // excludes apply to named files too
  std::string stdinName;      // the name "-" goes by; "" for "-"
  ConfigSource config;        // --config FILE, --no-config or a lookup
  std::vector<std::string> excludes;
  std::vector<std::string> paths;
};

// Reads the words after the program's name into `options`. Returns "" when
// they make sense, else what is wrong with them, in one line.
std::string parseCheckLine(const std::vector<std::string>& words,
                           CheckOptions& options);

// What to warn of in options that make sense: excludes that can never
// match, one line each.
std::vector<std::string> excludeWarnings(const CheckOptions& options);

// The short usage shown after a usage error, and the --help text.
std::string_view usageText();
std::string_view helpText();

}  // namespace tagfmt
