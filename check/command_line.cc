// tagfmt-check's command line: options, paths and the texts that explain
// them.
#include "check/command_line.h"

#include <charconv>

#include "config/globs.h"

namespace tagfmt {

std::string_view usageText() {
  return "usage: tagfmt-check [-l | --diff | --stdout | --fix] [OPTIONS] "
         "PATH...\n"
         "Try 'tagfmt-check --help' for more.\n";
}

std::vector<std::string> excludeWarnings(const CheckOptions& options) {
  std::vector<std::string> warnings;
  for (const std::string& glob : options.excludes) {
    const std::string why = excludeProblem(glob);
    if (!why.empty()) {
      warnings.push_back("--exclude '" + glob + "' can never match: " + why);
    }
  }
  return warnings;
}

namespace {

constexpr std::string_view kHelpText = R"(usage: tagfmt-check [OPTIONS] PATH...
Says what tagfmt would do to each file; with --fix, does it.
A PATH is a file, a folder (searched for *.htm, *.html, *.xsl and *.xslt,
hidden folders and files git ignores skipped) or - for standard input.

  -l                   print only the names of the files tagfmt would rewrite
  -z                   with -l: end each name with a NUL byte, not escaped
  --diff               print a unified diff of what tagfmt would write
  --stdout             print the bytes tagfmt would leave in the one file named
  --fix                rewrite the files tagfmt would rewrite, in place
  --backup             with --fix: keep the old bytes in a .bak, as tagfmt does
  --markers            as tagfmt's "+": write pair markers
  --line-ends-only     as tagfmt's "-w": change line ends only
  --stdin-filename P   the name standard input goes by
  --exclude GLOB       skip what GLOB matches below a folder (repeatable)
  --force-exclude      apply the excludes to named files too
  --config FILE        take the settings from FILE, not .tagfmt.toml files
  --no-config          read no .tagfmt.toml
  --no-ignore          check files git ignores too
  --format F           plain (default), json or github
  --color[=WHEN]       auto (default: on a terminal), always or never
  -q, --quiet          print no summary
  -j N                 check N files at a time (default: one per core)
  --help               print this text
  --version            print the version

Exit status: 0 when every file is tidy, 1 when some file would be rewritten
and none is refused, 2 when a file has a nesting fault or cannot be read,
and for a usage error. --fix: 0 when every file is tidy at the end, else 2.
--stdout: 0 when it printed the text, else 2.
)";

}  // namespace

std::string_view helpText() { return kHelpText; }

namespace {

constexpr unsigned kMostJobs = 1024;

// Reads N of "-j N"; false unless it is a whole number from 1 to kMostJobs.
bool readJobs(std::string_view word, unsigned& jobs) {
  const char* end = word.data() + word.size();
  const auto [stop, error] = std::from_chars(word.data(), end, jobs);
  return error == std::errc() && stop == end && jobs >= 1 && jobs <= kMostJobs;
}

struct ModeWord {
  std::string_view word;
  OutputMode mode;
};
constexpr ModeWord kModeWords[] = {{"-l", OutputMode::kList},
                                   {"--diff", OutputMode::kDiff},
                                   {"--stdout", OutputMode::kStdout},
                                   {"--fix", OutputMode::kFix}};

struct Parse {
  const std::vector<std::string>& words;
  std::size_t& i;
  CheckOptions& options;
  unsigned modes = 0;    // one bit per output mode named
  unsigned configs = 0;  // --config and --no-config words
};

// The value of an option that takes one: "--name=VALUE" or "--name VALUE".
// False when it has none.
bool optionValue(Parse& p, std::string_view name, std::string& value) {
  const std::string& word = p.words[p.i];
  if (word.size() > name.size() && word[name.size()] == '=') {
    value = word.substr(name.size() + 1);
    return true;
  }
  if (p.i + 1 == p.words.size()) return false;
  value = p.words[++p.i];
  return true;
}

std::string takeFormat(const std::string& value, CheckOptions& options) {
  if (value == "plain") {
    options.format = OutputFormat::kPlain;
  } else if (value == "json") {
    options.format = OutputFormat::kJson;
  } else if (value == "github") {
    options.format = OutputFormat::kGithub;
  } else {
    return "--format takes plain, json or github, not '" + value + "'";
  }
  return {};
}

std::string takeColor(const std::string& word, CheckOptions& options) {
  if (word == "--color" || word == "--color=always") {
    options.color = ColorChoice::kAlways;
  } else if (word == "--color=auto") {
    options.color = ColorChoice::kAuto;
  } else if (word == "--color=never") {
    options.color = ColorChoice::kNever;
  } else {
    return "--color takes auto, always or never, not '" + word.substr(8) + "'";
  }
  return {};
}

// The options that take a value, and what each does with it.
struct ValuedWord {
  std::string_view name;
  std::string (*take)(Parse& p, const std::string& value);
};
constexpr ValuedWord kValuedWords[] = {
    {"--stdin-filename",
     [](Parse& p, const std::string& value) {
       p.options.stdinName = value;
       return std::string();
     }},
    {"--exclude",
     [](Parse& p, const std::string& value) {
       p.options.excludes.push_back(value);
       return std::string();
     }},
    {"--format",
     [](Parse& p, const std::string& value) {
       return takeFormat(value, p.options);
     }},
    {"--config",
     [](Parse& p, const std::string& value) {
       p.options.config = {ConfigChoice::kFile, value};
       ++p.configs;
       return std::string();
     }},
};

// The options that take none, and what each sets.
struct FlagWord {
  std::string_view word;
  void (*take)(Parse& p);
};
constexpr FlagWord kFlagWords[] = {
    {"--markers", [](Parse& p) { p.options.run.markerMode = true; }},
    {"--line-ends-only", [](Parse& p) { p.options.run.lineEndsOnly = true; }},
    {"--backup", [](Parse& p) { p.options.backup = true; }},
    {"-z", [](Parse& p) { p.options.nulEnded = true; }},
    {"--no-ignore", [](Parse& p) { p.options.noIgnore = true; }},
    {"--force-exclude", [](Parse& p) { p.options.forceExclude = true; }},
    {"--no-config",
     [](Parse& p) {
       p.options.config = {ConfigChoice::kNone, {}};
       ++p.configs;
     }},
    {"-q", [](Parse& p) { p.options.quiet = true; }},
    {"--quiet", [](Parse& p) { p.options.quiet = true; }},
    {"--help", [](Parse& p) { p.options.help = true; }},
    {"-h", [](Parse& p) { p.options.help = true; }},
    {"--version", [](Parse& p) { p.options.version = true; }},
};

bool isValued(std::string_view word, std::string_view name) {
  return word == name || (word.starts_with(name) && word[name.size()] == '=');
}

std::string takeValued(Parse& p, const ValuedWord& valued) {
  std::string value;
  if (!optionValue(p, valued.name, value)) {
    return std::string(valued.name) + " needs a value";
  }
  return valued.take(p, value);
}

// "-j N" or "-jN".
std::string takeJobs(Parse& p) {
  const std::string& word = p.words[p.i];
  const bool apart = word == "-j";
  if (apart && p.i + 1 == p.words.size()) return "-j needs a number";
  const std::string_view number = apart ? std::string_view(p.words[++p.i])
                                        : std::string_view(word).substr(2);
  if (!readJobs(number, p.options.jobs)) {
    return "-j takes a number from 1 to 1024, not '" + std::string(number) +
           "'";
  }
  return {};
}

// Takes one option word (and, for the options with a value, the word after
// it).
std::string takeOption(Parse& p) {
  const std::string& word = p.words[p.i];
  for (const ModeWord& mode : kModeWords) {
    if (word == mode.word) {
      p.options.mode = mode.mode;
      p.modes |= 1u << static_cast<unsigned>(mode.mode);
      return {};
    }
  }
  for (const FlagWord& flag : kFlagWords) {
    if (word == flag.word) {
      flag.take(p);
      return {};
    }
  }
  for (const ValuedWord& valued : kValuedWords) {
    if (isValued(word, valued.name)) return takeValued(p, valued);
  }
  if (word == "--color" || word.starts_with("--color=")) {
    return takeColor(word, p.options);
  }
  if (word.starts_with("-j")) return takeJobs(p);
  return "unknown option '" + word + "'";
}

bool namesStandardInput(const CheckOptions& options) {
  for (const std::string& path : options.paths) {
    if (path == "-") return true;
  }
  return false;
}

// What is wrong with options that each make sense alone.
std::string checkTogether(const CheckOptions& options, unsigned modes,
                          unsigned configs) {
  if ((modes & (modes - 1)) != 0) {
    return "choose one of -l, --diff, --stdout and --fix";
  }
  if (configs > 1) return "give --config or --no-config once";
  if (options.paths.empty()) return "no PATH given";
  const OutputMode mode = options.mode;
  if (options.format != OutputFormat::kPlain && mode != OutputMode::kCheck &&
      mode != OutputMode::kFix) {
    return "--format json and github go with check mode or --fix";
  }
  if (options.nulEnded && mode != OutputMode::kList) return "-z goes with -l";
  if (options.backup && mode != OutputMode::kFix) {
    return "--backup goes with --fix";
  }
  if (mode == OutputMode::kFix && namesStandardInput(options)) {
    return "--fix rewrites files, not standard input: use --stdout";
  }
  if (!options.stdinName.empty() && !namesStandardInput(options)) {
    return "--stdin-filename names standard input: give - as the PATH";
  }
  return {};
}

}  // namespace

std::string parseCheckLine(const std::vector<std::string>& words,
                           CheckOptions& options) {
  bool optionsEnded = false;
  std::size_t i = 0;
  Parse p{words, i, options};
  for (; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word == "-" || !word.starts_with("-")) {
      options.paths.push_back(word);
    } else if (word == "--") {
      optionsEnded = true;
    } else if (std::string error = takeOption(p); !error.empty()) {
      return error;
    }
  }
  if (options.help || options.version) return {};
  return checkTogether(options, p.modes, p.configs);
}

}  // namespace tagfmt
