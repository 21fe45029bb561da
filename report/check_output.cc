// tagfmt-check's wording of a file's report, in its three formats.
#include "report/check_output.h"

#include <system_error>

#include "format/explain.h"
#include "format/format.h"
#include "report/check_wording.h"
#include "report/tagfmt_wording.h"

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
std::string reasonOf(const FileReport& report) {
  if (!report.reason.empty()) return report.reason;
  if (report.osError != 0) {
    return std::generic_category().message(report.osError);
  }
  return "unknown error";
}

const char* stateWord(FileVerdict verdict) {
  switch (verdict) {
    case FileVerdict::kTidy:
      return "tidy";
    case FileVerdict::kWouldTidy:
      return "would be tidied";
    case FileVerdict::kTidied:
      return "tidied";
    case FileVerdict::kFaults:
      return "nesting faults";
    case FileVerdict::kCannotOpen:
      return "cannot open";
    case FileVerdict::kCannotRead:
      return "cannot read";
    case FileVerdict::kCannotWrite:
      return "cannot write";
    case FileVerdict::kHasNul:
      return "NUL byte";
    case FileVerdict::kTooLarge:
      return "too large";
    case FileVerdict::kNoMemory:
      return "no memory";
    case FileVerdict::kNothingFound:
      return "nothing found";
    case FileVerdict::kInternalError:
      return "internal error";
    case FileVerdict::kNotAPage:
      return "not a page";
  }
  return "";
}

// Calls `onFault(fault)` for each fault and `onNote(note)` for each note, in
// the order they are said.
template <typename OnFault, typename OnNote>
void forFaultsAndNotes(const FileReport& report, OnFault onFault,
                       OnNote onNote) {
  for (std::size_t i = 0; i < report.faults.size(); ++i) {
    onFault(report.faults[i]);
    for (const Note* note : notesOn(report, i)) onNote(*note);
  }
  for (const Note* note : notesOn(report, kNoFault)) onNote(*note);
}

}  // namespace

std::string whyNotChecked(const FileReport& report) {
  switch (verdictOf(report)) {
    case FileVerdict::kCannotOpen:
      return "cannot open: " + reasonOf(report);
    case FileVerdict::kCannotRead:
      return "cannot read: " + reasonOf(report);
    case FileVerdict::kCannotWrite:
      return "cannot write: " + reasonOf(report);
    case FileVerdict::kHasNul:
      return "contains a NUL byte, not checked";
    case FileVerdict::kTooLarge:
      return "too large, not checked (over " +
             std::to_string(kLargestFile >> 30) + " GiB)";
    case FileVerdict::kNoMemory:
      return "no memory, not checked";
    case FileVerdict::kNothingFound:
      return "no .htm, .html, .xsl or .xslt files";
    case FileVerdict::kInternalError:
      return std::string(kInternalErrorText);
    case FileVerdict::kNotAPage:
      return "not a page (.htm, .html, .xsl or .xslt), not checked";
    case FileVerdict::kTidy:
    case FileVerdict::kWouldTidy:
    case FileVerdict::kTidied:
    case FileVerdict::kFaults:
      break;
  }
  return {};
}

std::string whyNotFormatted(const FileReport& report) {
  switch (verdictOf(report)) {
    case FileVerdict::kHasNul:
      return "contains a NUL byte, not formatted";
    case FileVerdict::kNoMemory:
      return "no memory, not formatted";
    case FileVerdict::kInternalError:
      return std::string(kInternalErrorText) + "; " +
             std::string(kReportThePage);
    case FileVerdict::kFaults:
      break;
    default:
      return {};
  }
  if (report.faults.empty()) return "not formatted: the tags do not nest";
  const NestingFault& first = report.faults.front();
  std::string why = "not formatted: line " + std::to_string(first.line) +
                    ": nesting error: " + faultText(first);
  if (report.faults.size() > 1) {
    why += " (and " + std::to_string(report.faults.size() - 1) + " more)";
  }
  return why;
}

std::string stateLine(const std::string& name, const FileReport& report,
                      bool colour) {
  switch (verdictOf(report)) {
    case FileVerdict::kWouldTidy:
      return name + ": " + paint("would be tidied", kYellow, colour) + "\n";
    case FileVerdict::kTidied:
      return name + ": " + paint("tidied", kGreen, colour) + "\n";
    default:
      return {};
  }
}

std::string problemLines(const std::string& name, const FileReport& report,
                         bool colour) {
  if (const std::string why = whyNotChecked(report); !why.empty()) {
    return name + ": " + paint(why, kRed, colour) + "\n";
  }
  std::string lines;
  forFaultsAndNotes(
      report,
      [&](const NestingFault& fault) {
        lines += colour ? name + ":" + placeText(fault.line, fault.span) +
                              ": " + paint("nesting error", kRed, true) + ": " +
                              faultText(fault) + "\n"
                        : faultLine(name, fault);
      },
      [&](const Note& note) {
        lines += name + ":" + placeText(note.line, note.span) + ": " +
                 paint("note", kCyan, colour) + ": " + noteText(note) + "\n";
      });
  return lines;
}

std::string githubLines(const std::string& name, const FileReport& report,
                        bool fixing) {
  const std::string file = "file=" + githubEscape(name, true);
  const auto command = [&](const char* kind, std::uint64_t line,
                           std::string_view message, const TextSpan& span) {
    std::string place;
    if (line > 0) place = ",line=" + std::to_string(line);
    if (line > 0 && span.column > 0) {
      place += ",col=" + std::to_string(span.column);
    }
    return std::string("::") + kind + " " + file + place +
           "::" + githubEscape(message, false) + "\n";
  };
  std::string lines;
  const FileVerdict verdict = verdictOf(report);
  if (verdict == FileVerdict::kWouldTidy) {
    lines += command(fixing ? "notice" : "error", 0, "would be tidied", {});
  } else if (verdict == FileVerdict::kTidied) {
    lines += command("notice", 0, "tidied", {});
  } else if (const std::string why = whyNotChecked(report); !why.empty()) {
    return command("error", 0, why, {});
  }
  forFaultsAndNotes(
      report,
      [&](const NestingFault& fault) {
        lines += command("error", fault.line,
                         "nesting error: " + faultText(fault), fault.span);
      },
      [&](const Note& note) {
        lines += command("notice", note.line, noteText(note), note.span);
      });
  return lines;
}

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

const char* stateCode(FileVerdict verdict) {
  switch (verdict) {
    case FileVerdict::kTidy:
      return "tidy";
    case FileVerdict::kWouldTidy:
      return "would-tidy";
    case FileVerdict::kTidied:
      return "tidied";
    case FileVerdict::kCannotOpen:
    case FileVerdict::kCannotRead:
      return "unreadable";
    case FileVerdict::kNotAPage:
    case FileVerdict::kNothingFound:
      return "not-a-page";
    case FileVerdict::kFaults:
    case FileVerdict::kCannotWrite:
    case FileVerdict::kHasNul:
    case FileVerdict::kTooLarge:
    case FileVerdict::kNoMemory:
    case FileVerdict::kInternalError:
      break;
  }
  return "refused";
}

Json fileJson(std::string_view path, const FileReport& report) {
  Json file = Json::object();
  putName(file, "path", path);
  const FileVerdict verdict = verdictOf(report);
  file["state"] = stateCode(verdict);
  file["message"] = stateWord(verdict);
  if (const std::string why = whyNotChecked(report); !why.empty()) {
    file["reason"] = why;
  }
  Json faults = Json::array();
  for (const NestingFault& fault : report.faults) {
    faults.push_back(faultJson(fault));
  }
  Json notes = Json::array();
  for (const Note& note : report.notes) notes.push_back(noteJson(note));
  file["faults"] = std::move(faults);
  file["notes"] = std::move(notes);
  return file;
}

void count(Tally& tally, FileVerdict verdict) {
  if (verdict == FileVerdict::kWouldTidy || verdict == FileVerdict::kTidied) {
    ++tally.changed;
  } else if (verdict == FileVerdict::kTidy) {
    ++tally.tidy;
  } else {
    ++tally.refused;
  }
}

std::string summaryLine(const Tally& tally, bool fixing) {
  return std::to_string(tally.changed) +
         (tally.changed == 1 ? " file" : " files") +
         (fixing ? " tidied, " : " would be tidied, ") +
         std::to_string(tally.refused) + " refused, " +
         std::to_string(tally.tidy) + " tidy\n";
}

Json summaryJson(const Tally& tally) {
  return Json{{"changed", tally.changed},
              {"refused", tally.refused},
              {"tidy", tally.tidy}};
}

Json checkJson(Json files, const Tally& tally) {
  return Json{{"version", kJsonVersion},
              {"files", std::move(files)},
              {"summary", summaryJson(tally)}};
}

}  // namespace tagfmt
