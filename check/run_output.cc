// A run's output, file by file and at its end.
#include "check/run_output.h"

#include <cstdio>

#include "report/names.h"

namespace tagfmt {

namespace {

void write(std::FILE* stream, std::string_view text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

void RunOutput::say(const FileToCheck& file, std::string_view original,
                    const FileReport& report) {
  count(tally_, verdictOf(report));
  if (style_.format == OutputFormat::kJson) {
    files_.push_back(fileJson(file.path, report));
    return;
  }
  const std::string name = printableName(file.path);
  FileOutput output = renderFile(name, original, report, options_.mode, style_);
  // -z: for xargs -0, the name as it is; no byte of it can end the entry.
  if (options_.nulEnded && !output.out.empty()) {
    output.out = file.path + '\0';
  }
  write(stdout, output.out);
  writeBody(output, original,
            [](std::string_view piece) { write(stdout, piece); });
  if (!output.err.empty()) {
    std::fflush(stdout);  // keeps the two streams in order on a terminal
    write(stderr, output.err);
  }
}

void RunOutput::finish() {
  if (style_.format == OutputFormat::kJson) {
    write(stdout, jsonText(checkJson(std::move(files_), tally_)) + "\n");
  }
  std::fflush(stdout);
  if (options_.mode != OutputMode::kStdout && !options_.quiet &&
      style_.format != OutputFormat::kJson) {
    write(stderr, summaryLine(tally_, fixing()));
  }
}

}  // namespace tagfmt
