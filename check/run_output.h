// What a tagfmt-check run prints: each file's output as its report comes,
// in order, then the JSON document or the summary line.
#pragma once

#include <string>
#include <string_view>

#include "check/command_line.h"
#include "check/file_walk.h"
#include "check/render.h"
#include "report/check_output.h"
#include "report/json.h"

namespace tagfmt {

// Says a run's reports and keeps its JSON document and tally.
class RunOutput {
 public:
  RunOutput(const CheckOptions& options, const RenderStyle& style)
      : options_(options), style_(style) {}

  // Says `report` on `file`, whose bytes were `original` where the output
  // shows them.
  void say(const FileToCheck& file, std::string_view original,
           const FileReport& report);
  // Writes the JSON document or the summary line.
  void finish();

  const Tally& tally() const { return tally_; }

 private:
  bool fixing() const { return options_.mode == OutputMode::kFix; }

  const CheckOptions& options_;
  const RenderStyle& style_;
  Tally tally_;
  Json files_ = Json::array();
};

}  // namespace tagfmt
