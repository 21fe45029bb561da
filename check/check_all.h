// tagfmt-check's check of many files: read and decided in parallel, said in
// order, each pair-marker number counted from the files before it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "check/check_file.h"
#include "check/command_line.h"
#include "check/file_walk.h"

namespace tagfmt {

// One file's check, with its text where the output shows it.
struct Checked {
  FileCheck check;
  std::unique_ptr<ReadText> text;
  std::string_view original() const {
    return text ? text->view() : std::string_view();
  }
};

// Receives each file's check, in the order of the files.
using CheckSink = std::function<void(const FileToCheck&, const Checked&)>;

// Checks `files` on `jobs` threads and hands each on in order. A file
// checked in marker mode with the wrong start is checked again once the
// start is known.
void checkAll(const std::vector<FileToCheck>& files,
              const CheckOptions& options, unsigned jobs,
              const CheckSink& sink);

}  // namespace tagfmt
