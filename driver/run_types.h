// The two types a whole run shares with the formatting engine: the option
// flags and the per-file message channel.
#pragma once

#include <string>
#include <string_view>

namespace tagfmt {

// Flags set by the option words; one instance lives for the whole run.
struct RunOptions {
  bool markerMode = false;    // "+" turns it on, "-" turns it off.
  bool lineEndsOnly = false;  // "-w" turns it on for the rest of the run.
};

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

}  // namespace tagfmt
