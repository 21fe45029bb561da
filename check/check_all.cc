// The parallel check: workers read and decide files a few ahead of the one
// being said, within a bound on the bytes they hold.
#include "check/check_all.h"

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

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

// Results wait here until every file before them has been said. Workers
// run at most a few files and kBytesInFlight ahead of the one being said.
class ResultQueue {
 public:
  ResultQueue(std::vector<std::uint64_t> sizes, std::size_t window)
      : slots_(sizes.size()), sizes_(std::move(sizes)), window_(window) {}
  // The next file for a worker, or false when all are taken.
  bool take(std::size_t& index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] {
      return next_ == slots_.size() ||
             (next_ < said_ + window_ &&
              (inFlight_ == 0 || inFlight_ + sizes_[next_] <= kBytesInFlight));
    });
    if (next_ == slots_.size()) return false;
    inFlight_ += sizes_[next_];
    index = next_++;
    return true;
  }
  void put(std::size_t index, Checked checked) {
    const std::lock_guard lock(mutex_);
    slots_[index] = std::move(checked);
    changed_.notify_all();
  }
  Checked get(std::size_t index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return slots_[index].has_value(); });
    Checked checked = std::move(*slots_[index]);
    slots_[index].reset();
    said_ = index + 1;
    inFlight_ -= sizes_[index];
    changed_.notify_all();
    return checked;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<Checked>> slots_;
  std::vector<std::uint64_t> sizes_;
  std::size_t next_ = 0;
  std::size_t said_ = 0;
  std::uint64_t inFlight_ = 0;
  std::size_t window_;
};

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
  ResultQueue queue(std::move(sizes), std::size_t{4} * jobs);
  std::vector<std::jthread> workers;
  for (unsigned j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      for (std::size_t index = 0; queue.take(index);) {
        queue.put(index, checkOne(files[index], options, 0));
      }
    });
  }
  std::int64_t openSeq = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    Checked checked = queue.get(i);
    if (files[i].run.markerMode && openSeq > 0 && checked.check.openCount > 0) {
      Checked again;
      again.text = std::move(checked.text);
      decide(files[i], options, openSeq, again);
      checked = std::move(again);
    }
    openSeq += checked.check.openCount;
    sink(files[i], checked);
  }
}

}  // namespace tagfmt
