// The per-file message channel of a run.
#pragma once

#include <string>
#include <string_view>

#include "format/format.h"
#include "report/messages.h"

namespace tagfmt {

// The message channel of one file job. The file's name is printed once,
// before the first message about that file, and not at all when nothing is
// said about it.
struct FileReport {
  explicit FileReport(std::string_view fileName) : name(fileName) {}

  // Prints the file name and a line feed unless that was done already.
  void showName();
  // Shows the name if needed, then prints `text`.
  void say(std::string_view text);
  // Prints `text` with no name line ("-> cannot open" and its kin).
  void sayDirect(std::string_view text) const;

  std::string name;
  bool nameShown = false;
  // When set, messages are appended here instead of going to standard
  // output; tests use it to read what a job said.
  std::string* capture = nullptr;
};

// Says every fault of `faults` through `report`, in order.
void sayFaults(const NestingFaults& faults, FileReport& report);

}  // namespace tagfmt
