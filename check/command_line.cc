// tagfmt-check's command line: options, paths and the texts that explain
// them.
#include <charconv>

#include "check/check.h"

namespace tagfmt {

std::string_view usageText() {
  return "usage: tagfmt-check [-l | --diff | --stdout] [--markers] "
         "[--line-ends-only] [-j N] PATH...\n"
         "Try 'tagfmt-check --help' for more.\n";
}

std::string_view helpText() {
  return "usage: tagfmt-check [OPTIONS] PATH...\n"
         "Says what tagfmt would do to each file, and writes nothing.\n"
         "A PATH is a file, a folder (searched for *.htm, *.html, *.xsl and "
         "*.xslt,\n"
         "hidden folders skipped) or - for standard input.\n"
         "\n"
         "  -l                print only the names of the files tagfmt would "
         "rewrite\n"
         "  --diff            print a unified diff of what tagfmt would "
         "write\n"
         "  --stdout          print the bytes tagfmt would leave in the one "
         "file named\n"
         "  --markers         as tagfmt's \"+\": write pair markers\n"
         "  --line-ends-only  as tagfmt's \"-w\": change line ends only\n"
         "  -j N              check N files at a time (default: one per "
         "core)\n"
         "  --help            print this text\n"
         "  --version         print the version\n"
         "\n"
         "Exit status: 0 when every file is tidy, 1 when some file would be "
         "rewritten\n"
         "and none is refused, 2 when a file has a nesting fault or cannot "
         "be read,\n"
         "and for a usage error.\n";
}

namespace {

constexpr unsigned kMostJobs = 1024;

// Reads N of "-j N"; false unless it is a whole number from 1 to kMostJobs.
bool readJobs(std::string_view word, unsigned& jobs) {
  const char* end = word.data() + word.size();
  const auto [stop, error] = std::from_chars(word.data(), end, jobs);
  return error == std::errc() && stop == end && jobs >= 1 && jobs <= kMostJobs;
}

// Takes one option word (and, for -j, the word after it).
std::string takeOption(const std::vector<std::string>& words, std::size_t& i,
                       CheckOptions& options, unsigned& modes) {
  const std::string& word = words[i];
  const auto setMode = [&options, &modes](OutputMode mode) {
    options.mode = mode;
    modes |= 1u << static_cast<unsigned>(mode);
  };
  if (word == "-l") {
    setMode(OutputMode::kList);
  } else if (word == "--diff") {
    setMode(OutputMode::kDiff);
  } else if (word == "--stdout") {
    setMode(OutputMode::kStdout);
  } else if (word == "--markers") {
    options.run.markerMode = true;
  } else if (word == "--line-ends-only") {
    options.run.lineEndsOnly = true;
  } else if (word == "--help" || word == "-h") {
    options.help = true;
  } else if (word == "--version") {
    options.version = true;
  } else if (word == "-j" || word.starts_with("-j")) {
    const bool apart = word == "-j";
    if (apart && i + 1 == words.size()) return "-j needs a number";
    const std::string_view number =
        apart ? std::string_view(words[++i]) : std::string_view(word).substr(2);
    if (!readJobs(number, options.jobs)) {
      return "-j takes a number from 1 to 1024, not '" + std::string(number) +
             "'";
    }
  } else {
    return "unknown option '" + word + "'";
  }
  return {};
}

}  // namespace

std::string parseCheckLine(const std::vector<std::string>& words,
                           CheckOptions& options) {
  unsigned modes = 0;  // one bit per output mode named
  bool optionsEnded = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& word = words[i];
    if (optionsEnded || word == "-" || !word.starts_with("-")) {
      options.paths.push_back(word);
    } else if (word == "--") {
      optionsEnded = true;
    } else if (std::string error = takeOption(words, i, options, modes);
               !error.empty()) {
      return error;
    }
  }
  if (options.help || options.version) return {};
  if ((modes & (modes - 1)) != 0)
    return "choose one of -l, --diff and --stdout";
  if (options.paths.empty()) return "no PATH given";
  if (options.mode == OutputMode::kStdout &&
      (options.paths.size() > 1 || isFolder(options.paths[0]))) {
    return "--stdout takes one file or -";
  }
  return {};
}

}  // namespace tagfmt
