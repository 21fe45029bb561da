// tagfmt-check's output for a file in each mode, over report/'s emitters.
#include "check/render.h"

#include <filesystem>
#include <system_error>

#include "check/unified_diff.h"

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
    case OutputMode::kDiff: {
      // git apply takes a path below the folder it runs in, not an
      // absolute one.
      std::string diff = wouldTidy
                             ? unifiedDiff(relativeBelow(name, currentFolder()),
                                           original, report.tidied)
                             : "";
      return {style.colorOut ? colourDiff(diff) : std::move(diff), problems};
    }
    case OutputMode::kStdout:
      if (wouldTidy) return {"", "", report.tidied};
      if (verdict == FileVerdict::kTidy) return {"", "", original};
      return {"", problems};
  }
  return {};
}

}  // namespace tagfmt
