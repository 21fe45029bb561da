// tagfmt-check's output for a file and for the run, in its three formats.
#include "check/render.h"

#include <system_error>

#include "check/unified_diff.h"
#include "report/messages.h"
#include "report/wording.h"

namespace tagfmt {

namespace {

constexpr const char* kRed = "\033[1;31m";
constexpr const char* kYellow = "\033[33m";
constexpr const char* kGreen = "\033[32m";
constexpr const char* kCyan = "\033[36m";
constexpr const char* kReset = "\033[0m";

std::string paint(std::string_view text, const char* colour, bool on) {
  if (!on) return std::string(text);
  return colour + std::string(text) + kReset;
}

// Why the file could not be opened, read or written.
std::string reasonOf(const FileCheck& check) {
  if (!check.reason.empty()) return check.reason;
  if (check.osError != 0) {
    return std::generic_category().message(check.osError);
  }
  return "unknown error";
}

// For a file that was not checked, what is said after "PATH: ", and in
// which colour; "" for the others.
std::string whyNotChecked(const FileCheck& check) {
  switch (check.state) {
    case FileState::kCannotOpen:
      return "cannot open: " + reasonOf(check);
    case FileState::kCannotRead:
      return "cannot read: " + reasonOf(check);
    case FileState::kCannotWrite:
      return "cannot write: " + reasonOf(check);
    case FileState::kHasNul:
      return "contains a NUL byte, not checked";
    case FileState::kTooLarge:
      return "too large, not checked (over " +
             std::to_string(kLargestFile >> 30) + " GiB)";
    case FileState::kNoMemory:
      return "no memory, not checked";
    case FileState::kNothingFound:
      return "no .htm, .html, .xsl or .xslt files";
    case FileState::kInternalError:
      return std::string(kInternalErrorText);
    case FileState::kTidy:
    case FileState::kWouldTidy:
    case FileState::kTidied:
    case FileState::kFaults:
      break;
  }
  return {};
}

// The notes on fault `fault` (kNoFault: those on none), in order.
template <typename Each>
void forNotes(const FileCheck& check, std::size_t fault, Each each) {
  for (const Note& note : check.notes) {
    if (note.fault == fault) each(note);
  }
}

// The plain lines about faults, notes and files that could not be checked.
std::string problemLines(const std::string& name, const FileCheck& check,
                         bool colour) {
  if (const std::string why = whyNotChecked(check); !why.empty()) {
    return name + ": " + paint(why, kRed, colour) + "\n";
  }
  std::string lines;
  const auto addNote = [&](const Note& note) {
    lines += name + ":" + std::to_string(note.line) + ": " +
             paint("note", kCyan, colour) + ": " + noteText(note) + "\n";
  };
  for (std::size_t i = 0; i < check.faults.size(); ++i) {
    const NestingFault& fault = check.faults[i];
    lines += colour ? name + ":" + std::to_string(fault.line) + ": " +
                          paint("nesting error", kRed, true) + ": " +
                          faultText(fault) + "\n"
                    : faultLine(name, fault);
    forNotes(check, i, addNote);
  }
  forNotes(check, kNoFault, addNote);
  return lines;
}

// The same as workflow commands: faults as errors at their lines, notes as
// notices, and the file's state as an error or a notice on the file.
std::string githubLines(const std::string& name, const FileCheck& check,
                        OutputMode mode) {
  const std::string file = "file=" + githubEscape(name, true);
  const auto command = [&](const char* kind, std::uint64_t line,
                           std::string_view message) {
    return std::string("::") + kind + " " + file +
           (line > 0 ? ",line=" + std::to_string(line) : "") +
           "::" + githubEscape(message, false) + "\n";
  };
  std::string lines;
  if (check.state == FileState::kWouldTidy) {
    lines += command(mode == OutputMode::kFix ? "notice" : "error", 0,
                     "would be tidied");
  } else if (check.state == FileState::kTidied) {
    lines += command("notice", 0, "tidied");
  } else if (const std::string why = whyNotChecked(check); !why.empty()) {
    return command("error", 0, why);
  }
  const auto addNote = [&](const Note& note) {
    lines += command("notice", note.line, noteText(note));
  };
  for (std::size_t i = 0; i < check.faults.size(); ++i) {
    lines += command("error", check.faults[i].line,
                     "nesting error: " + faultText(check.faults[i]));
    forNotes(check, i, addNote);
  }
  forNotes(check, kNoFault, addNote);
  return lines;
}

std::string stateLine(const std::string& name, const FileCheck& check,
                      bool colour) {
  if (check.state == FileState::kWouldTidy) {
    return name + ": " + paint("would be tidied", kYellow, colour) + "\n";
  }
  if (check.state == FileState::kTidied) {
    return name + ": " + paint("tidied", kGreen, colour) + "\n";
  }
  return {};
}

const char* stateWord(FileState state) {
  switch (state) {
    case FileState::kTidy:
      return "tidy";
    case FileState::kWouldTidy:
      return "would be tidied";
    case FileState::kTidied:
      return "tidied";
    case FileState::kFaults:
      return "nesting faults";
    case FileState::kCannotOpen:
      return "cannot open";
    case FileState::kCannotRead:
      return "cannot read";
    case FileState::kCannotWrite:
      return "cannot write";
    case FileState::kHasNul:
      return "NUL byte";
    case FileState::kTooLarge:
      return "too large";
    case FileState::kNoMemory:
      return "no memory";
    case FileState::kNothingFound:
      return "nothing found";
    case FileState::kInternalError:
      return "internal error";
  }
  return "";
}

}  // namespace

std::string githubEscape(std::string_view text, bool property) {
  std::string escaped;
  for (const char c : text) {
    if (c == '%') {
      escaped += "%25";
    } else if (c == '\r') {
      escaped += "%0D";
    } else if (c == '\n') {
      escaped += "%0A";
    } else if (property && c == ':') {
      escaped += "%3A";
    } else if (property && c == ',') {
      escaped += "%2C";
    } else {
      escaped += c;
    }
  }
  return escaped;
}

FileOutput renderFile(const std::string& name, std::string_view original,
                      const FileCheck& check, OutputMode mode,
                      const RenderStyle& style) {
  const bool wouldTidy = check.state == FileState::kWouldTidy;
  if ((mode == OutputMode::kCheck || mode == OutputMode::kFix) &&
      style.format == OutputFormat::kGithub) {
    return {githubLines(name, check, mode), ""};
  }
  switch (mode) {
    case OutputMode::kCheck:
    case OutputMode::kFix:
      return {stateLine(name, check, style.colorOut) +
                  problemLines(name, check, style.colorOut),
              ""};
    case OutputMode::kList:
      return {wouldTidy ? name + "\n" : "",
              problemLines(name, check, style.colorErr)};
    case OutputMode::kDiff: {
      std::string diff =
          wouldTidy ? unifiedDiff(name, original, check.tidied) : "";
      return {style.colorOut ? colourDiff(diff) : std::move(diff),
              problemLines(name, check, style.colorErr)};
    }
    case OutputMode::kStdout:
      if (wouldTidy) return {check.tidied, ""};
      if (check.state == FileState::kTidy) return {std::string(original), ""};
      return {"", problemLines(name, check, style.colorErr)};
  }
  return {};
}

Json fileJson(const std::string& name, const FileCheck& check) {
  Json file{{"path", name}, {"state", stateWord(check.state)}};
  if (const std::string why = whyNotChecked(check); !why.empty()) {
    file["reason"] = why;
  }
  Json faults = Json::array();
  for (const NestingFault& fault : check.faults) {
    faults.push_back(faultJson(fault));
  }
  Json notes = Json::array();
  for (const Note& note : check.notes) notes.push_back(noteJson(note));
  file["faults"] = std::move(faults);
  file["notes"] = std::move(notes);
  return file;
}

void count(Tally& tally, FileState state) {
  if (state == FileState::kWouldTidy || state == FileState::kTidied) {
    ++tally.changed;
  } else if (state == FileState::kTidy) {
    ++tally.tidy;
  } else {
    ++tally.refused;
  }
}

std::string summaryLine(const Tally& tally, OutputMode mode) {
  return std::to_string(tally.changed) +
         (tally.changed == 1 ? " file" : " files") +
         (mode == OutputMode::kFix ? " tidied, " : " would be tidied, ") +
         std::to_string(tally.refused) + " refused, " +
         std::to_string(tally.tidy) + " tidy\n";
}

Json summaryJson(const Tally& tally, OutputMode mode) {
  return Json{
      {mode == OutputMode::kFix ? "tidied" : "would be tidied", tally.changed},
      {"refused", tally.refused},
      {"tidy", tally.tidy}};
}

}  // namespace tagfmt
