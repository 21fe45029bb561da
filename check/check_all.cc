// The parallel check: which files keep their text, and the marker-mode
// check again once a file's start is known, over the job's ordered pool.
#include "check/check_all.h"

#include <filesystem>
#include <new>

#include "driver/job_pool.h"

namespace tagfmt {

namespace {

// Whether a check keeps the file's text and tidied bytes after deciding:
// only for the outputs that show them, and for standard input in marker
// mode, which may be checked again but not read again.
bool keepsText(const CheckOptions& options, const FileToCheck& file) {
  const OutputMode mode = options.mode;
  return mode == OutputMode::kDiff || mode == OutputMode::kStdout ||
         (file.run.markerMode && file.kind == WalkEntry::kStandardInput);
}

// Decides `checked` from its text, which is read unless it is there.
void decide(const FileToCheck& file, const CheckOptions& options,
            std::int64_t openSeq, Checked& checked) {
  try {
    if (!checked.text && file.kind == WalkEntry::kFile) {
      // A file is read and decided by the file job.
      checked.text = std::make_unique<ReadText>();
      checked.check = checkedByJob(file, file.run, openSeq, *checked.text,
                                   keepsText(options, file));
    } else {
      if (!checked.text) {
        checked.text = std::make_unique<ReadText>();
        if (!readFileToCheck(file, *checked.text, checked.check)) return;
      }
      checked.check = checkText(checked.text->view(), file.run, openSeq,
                                keepsText(options, file));
    }
    if (!checked.text->intact()) checked.check = cutShort();
  } catch (const std::bad_alloc&) {
    checked.check = FileCheck{};
    checked.check.report.read = ReadStatus::kNoMemory;
  }
  if (!keepsText(options, file) || isRefused(verdictOf(checked.check.report))) {
    std::string().swap(checked.check.report.tidied);
    checked.text.reset();
  }
}

Checked checkOne(const FileToCheck& file, const CheckOptions& options,
                 std::int64_t openSeq) {
  Checked checked;
  if (file.kind == WalkEntry::kNothingFound) {
    checked.check.report.read = ReadStatus::kNothingFound;
  } else if (file.kind == WalkEntry::kNotAPage) {
    checked.check.report.read = ReadStatus::kNotAPage;
  } else {
    decide(file, options, openSeq, checked);
  }
  return checked;
}

// Most bytes of files that may be in flight at once; a larger file is
// checked alone, so a run needs about what its largest file needs.
constexpr std::uint64_t kBytesInFlight = std::uint64_t{32} << 20;

std::uint64_t sizeOf(const FileToCheck& file) {
  std::error_code error;
  if (file.kind != WalkEntry::kFile) return 0;
  const std::uint64_t size = std::filesystem::file_size(file.path, error);
  return error ? 0 : size;
}

}  // namespace

void checkAll(const std::vector<FileToCheck>& files,
              const CheckOptions& options, unsigned jobs,
              const CheckSink& sink) {
  std::vector<std::uint64_t> sizes;
  sizes.reserve(files.size());
  for (const FileToCheck& file : files) sizes.push_back(sizeOf(file));
  // Workers run at most a few files and kBytesInFlight ahead of the one
  // being said.
  const PoolLimits limits{jobs, std::size_t{4} * jobs, kBytesInFlight};
  std::int64_t openSeq = 0;
  runInOrder<Checked>(
      std::move(sizes), limits,
      [&](std::size_t i) { return checkOne(files[i], options, 0); },
      [&](std::size_t i, Checked checked) {
        if (files[i].run.markerMode && openSeq > 0 &&
            checked.check.openCount > 0) {
          Checked again;
          again.text = std::move(checked.text);
          decide(files[i], options, openSeq, again);
          checked = std::move(again);
        }
        openSeq += checked.check.openCount;
        sink(files[i], checked);
      });
}

}  // namespace tagfmt
