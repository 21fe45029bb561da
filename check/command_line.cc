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

std::string_view helpText() {
  return "usage: tagfmt-check [OPTIONS] PATH...\n"
         "Says what tagfmt would do to each file; with --fix, does it.\n"
         "A PATH is a file, a folder (searched for *.htm, *.html, *.xsl and "
         "*.xslt,\n"
         "hidden folders and files git ignores skipped) or - for standard "
         "input.\n"
         "\n"
         "  -l                   print only the names of the files tagfmt "
         "would rewrite\n"
         "  -z                   with -l: end each name with a NUL byte, not "
         "escaped\n"
         "  --diff               print a unified diff of what tagfmt would "
         "write\n"
         "  --stdout             print the bytes tagfmt would leave in the "
         "one file named\n"
         "  --fix                rewrite the files tagfmt would rewrite, in "
         "place\n"
         "  --backup             with --fix: keep the old bytes in a .bak, as "
         "tagfmt does\n"
         "  --markers            as tagfmt's \"+\": write pair markers\n"
         "  --line-ends-only     as tagfmt's \"-w\": change line ends only\n"
         "  --stdin-filename P   the name standard input goes by\n"
         "  --exclude GLOB       skip what GLOB matches below a folder "
         "(repeatable)\n"
         "  --force-exclude      apply the excludes to named files too\n"
         "  --config FILE        take the settings from FILE, not "
         ".tagfmt.toml files\n"
         "  --no-config          read no .tagfmt.toml\n"
         "  --no-ignore          check files git ignores too\n"
         "  --format F           plain (default), json or github\n"
         "  --color[=WHEN]       auto (default: on a terminal), always or "
         "never\n"
         "  -q, --quiet          print no summary\n"
         "  -j N                 check N files at a time (default: one per "
         "core)\n"
         "  --help               print this text\n"
         "  --version            print the version\n"
         "\n"
         "Exit status: 0 when every file is tidy, 1 when some file would be "
         "rewritten\n"
         "and none is refused, 2 when a file has a nesting fault or cannot "
         "be read,\n"
         "and for a usage error. --fix: 0 when every file is tidy at the "
         "end, else 2.\n"
         "--stdout: 0 when it printed the text, else 2.\n";
}

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

// Options that take a value: --stdin-filename, --exclude, --format,
// --config.
std::string takeValued(Parse& p, std::string_view name) {
  std::string value;
  if (!optionValue(p, name, value)) return std::string(name) + " needs a value";
  if (name == "--format") return takeFormat(value, p.options);
  if (name == "--exclude") {
    p.options.excludes.push_back(value);
  } else if (name == "--config") {
    p.options.config = {ConfigChoice::kFile, value};
    ++p.configs;
  } else {
    p.options.stdinName = value;
  }
  return {};
}

bool isValued(std::string_view word, std::string_view name) {
  return word == name || (word.starts_with(name) && word[name.size()] == '=');
}

// Takes one option word (and, for the options with a value, the word after
// it).
std::string takeOption(Parse& p) {
  const std::string& word = p.words[p.i];
  CheckOptions& options = p.options;
  for (const ModeWord& mode : kModeWords) {
    if (word == mode.word) {
      options.mode = mode.mode;
      p.modes |= 1u << static_cast<unsigned>(mode.mode);
      return {};
    }
  }
  for (const std::string_view name :
       {"--stdin-filename", "--exclude", "--format", "--config"}) {
    if (isValued(word, name)) return takeValued(p, name);
  }
  if (word == "--color" || word.starts_with("--color=")) {
    return takeColor(word, options);
  }
  if (word == "--markers") {
    options.run.markerMode = true;
  } else if (word == "--line-ends-only") {
    options.run.lineEndsOnly = true;
  } else if (word == "--backup") {
    options.backup = true;
  } else if (word == "-z") {
    options.nulEnded = true;
  } else if (word == "--no-ignore") {
    options.noIgnore = true;
  } else if (word == "--force-exclude") {
    options.forceExclude = true;
  } else if (word == "--no-config") {
    options.config = {ConfigChoice::kNone, {}};
    ++p.configs;
  } else if (word == "-q" || word == "--quiet") {
    options.quiet = true;
  } else if (word == "--help" || word == "-h") {
    options.help = true;
  } else if (word == "--version") {
    options.version = true;
  } else if (word.starts_with("-j")) {
    const bool apart = word == "-j";
    if (apart && p.i + 1 == p.words.size()) return "-j needs a number";
    const std::string_view number = apart ? std::string_view(p.words[++p.i])
                                          : std::string_view(word).substr(2);
    if (!readJobs(number, options.jobs)) {
      return "-j takes a number from 1 to 1024, not '" + std::string(number) +
             "'";
    }
  } else {
    return "unknown option '" + word + "'";
  }
  return {};
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
