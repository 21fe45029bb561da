// tagfmt-check's output for a file in each mode, over report/'s emitters.
#include "check/render.h"

#include <filesystem>
#include <system_error>

namespace tagfmt {

namespace {

// The folder the run started in, looked up once; "" when it cannot be.
const std::string& currentFolder() {
  static const std::string folder = [] {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::current_path(error);
    return error ? std::string() : path.string();
  }();
  return folder;
}

}  // namespace

FileOutput renderFile(const std::string& name, std::string_view original,
                      const FileReport& report, OutputMode mode,
                      const RenderStyle& style) {
  const FileVerdict verdict = verdictOf(report);
  const bool wouldTidy = verdict == FileVerdict::kWouldTidy;
  const bool fixing = mode == OutputMode::kFix;
  if ((mode == OutputMode::kCheck || fixing) &&
      style.format == OutputFormat::kGithub) {
    return {githubLines(name, report, fixing), ""};
  }
  const std::string problems = problemLines(
      name, report,
      mode == OutputMode::kCheck || fixing ? style.colorOut : style.colorErr);
  switch (mode) {
    case OutputMode::kCheck:
    case OutputMode::kFix:
      return {stateLine(name, report, style.colorOut) + problems, ""};
    case OutputMode::kList:
      return {wouldTidy ? name + "\n" : "", problems};
    case OutputMode::kDiff:
      if (!wouldTidy) return {"", problems};
      // git apply takes a path below the folder it runs in, not an
      // absolute one.
      return {"",
              problems,
              report.tidied,
              true,
              relativeBelow(name, currentFolder()),
              style.colorOut};
    case OutputMode::kStdout:
      if (wouldTidy) return {"", "", report.tidied};
      if (verdict == FileVerdict::kTidy) return {"", "", original};
      return {"", problems};
  }
  return {};
}

void writeBody(const FileOutput& output, std::string_view original,
               const DiffSink& write) {
  if (!output.diff) {
    if (!output.text.empty()) write(output.text);
  } else if (output.colour) {
    writeUnifiedDiff(
        output.diffPath, original, output.text,
        [&write](std::string_view piece) { write(colourDiff(piece)); });
  } else {
    writeUnifiedDiff(output.diffPath, original, output.text, write);
  }
}

}  // namespace tagfmt
