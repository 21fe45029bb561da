// tagfmt-check's output for a file in each mode, over report/'s emitters.
#include "check/render.h"

#include "check/unified_diff.h"

namespace tagfmt {

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
      std::string diff =
          wouldTidy ? unifiedDiff(name, original, report.tidied) : "";
      return {style.colorOut ? colourDiff(diff) : std::move(diff), problems};
    }
    case OutputMode::kStdout:
      if (wouldTidy) return {report.tidied, ""};
      if (verdict == FileVerdict::kTidy) return {std::string(original), ""};
      return {"", problems};
  }
  return {};
}

}  // namespace tagfmt
