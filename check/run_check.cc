// tagfmt-check's run: the command line, then the files checked, listed,
// diffed or tidied, and the exit status.
#include "check/run_check.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "check/check_all.h"
#include "check/check_file.h"
#include "check/command_line.h"
#include "check/file_walk.h"
#include "check/fix.h"
#include "check/run_output.h"
#include "check/terminal.h"
#include "driver/platform.h"

namespace tagfmt {

namespace {

void write(std::FILE* stream, const std::string& text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

int usageError(const std::string& error) {
  write(stderr, "tagfmt-check: " + error + "\n" + std::string(usageText()));
  return 2;
}

int exitStatus(const CheckOptions& options, const Tally& tally) {
  if (tally.refused > 0) return 2;
  if (options.mode == OutputMode::kFix || options.mode == OutputMode::kStdout) {
    return 0;
  }
  return tally.changed > 0 ? 1 : 0;
}

// Reads the command line into `options`. Returns -1 to run, or the exit
// status once help, the version or a usage error has been said.
int readCommandLine(int argumentCount, char** arguments,
                    CheckOptions& options) {
  std::vector<std::string> words = programArguments(argumentCount, arguments);
  if (!words.empty()) words.erase(words.begin());
  const std::string error = parseCheckLine(words, options);
  if (options.help) {
    write(stdout, std::string(helpText()));
    return 0;
  }
  if (options.version) {
    write(stdout, "tagfmt-check " TAGFMT_VERSION "\n");
    return 0;
  }
  if (!error.empty()) return usageError(error);
  if (options.mode == OutputMode::kStdout &&
      (options.paths.size() > 1 || isFolder(options.paths[0]))) {
    return usageError("--stdout takes one file or -");
  }
  return -1;
}

// Says each of `files` through `output` as the mode asks.
void runFiles(const std::vector<FileToCheck>& files,
              const CheckOptions& options, RunOutput& output) {
  if (options.mode == OutputMode::kFix) {
    fixAll(files, options,
           [&output](const FileToCheck& file, const FileReport& report) {
             output.say(file, {}, report);
           });
  } else if (options.mode == OutputMode::kStdout && !files.empty() &&
             files[0].excluded) {
    // What its name excludes is given back as it came.
    Checked checked;
    checked.text = std::make_unique<ReadText>();
    readFileToCheck(files[0], *checked.text, checked.check);
    output.say(files[0], checked.original(), checked.check.report);
  } else {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned jobs = options.jobs != 0 ? options.jobs : cores;
    checkAll(
        files, options,
        static_cast<unsigned>(std::min<std::size_t>(jobs, files.size() + 1)),
        [&output](const FileToCheck& file, const Checked& checked) {
          output.say(file, checked.original(), checked.check.report);
        });
  }
}

}  // namespace

int runCheck(int argumentCount, char** arguments) {
  useBinaryStandardOutput();
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
  CheckOptions options;
  if (const int said = readCommandLine(argumentCount, arguments, options);
      said >= 0) {
    return said;
  }
  for (const std::string& warning : excludeWarnings(options)) {
    write(stderr, "tagfmt-check: warning: " + warning + "\n");
  }
  std::string configError;
  std::vector<FileToCheck> files =
      listFiles(options.paths,
                {options.excludes, !options.noIgnore, options.stdinName,
                 options.run, options.config, options.forceExclude},
                &configError);
  if (!configError.empty()) {
    write(stderr, configError + "\n");
    return 2;
  }
  // What its name excludes is passed over, but by --stdout.
  std::erase_if(files, [&](const FileToCheck& file) {
    return file.excluded && options.mode != OutputMode::kStdout;
  });
  const RenderStyle style{options.format, coloured(options.color, stdout),
                          coloured(options.color, stderr)};
  RunOutput output(options, style);
  runFiles(files, options, output);
  output.finish();
  return exitStatus(options, output.tally());
}

}  // namespace tagfmt
