// tagfmt-check's run: files checked in parallel, said in order.
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "check/check.h"
#include "driver/platform.h"

namespace tagfmt {

namespace {

// What a worker hands back for one file.
struct Checked {
  FileCheck check;
  std::string original;
};

Checked checkOne(const FileToCheck& file, const RunOptions& options,
                 std::int64_t openSeq) {
  Checked checked;
  try {
    if (readFileToCheck(file, checked.original, checked.check)) {
      checked.check = checkText(checked.original, options, openSeq);
    }
  } catch (const std::bad_alloc&) {
    checked.check = FileCheck{};
    checked.check.state = FileState::kTooLarge;
    checked.original.clear();
  }
  return checked;
}

Checked recheck(std::string original, const RunOptions& options,
                std::int64_t openSeq) {
  Checked checked;
  try {
    checked.check = checkText(original, options, openSeq);
    checked.original = std::move(original);
  } catch (const std::bad_alloc&) {
    checked.check.state = FileState::kTooLarge;
  }
  return checked;
}

// Results wait here until every file before them has been said. Workers
// run at most a few files ahead of the one being said.
class ResultQueue {
 public:
  ResultQueue(std::size_t size, std::size_t window)
      : slots_(size), window_(window) {}
  // The next file for a worker, or false when all are taken.
  bool take(std::size_t& index) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return next_ < said_ + window_; });
    if (next_ == slots_.size()) return false;
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
    changed_.notify_all();
    return checked;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::optional<Checked>> slots_;
  std::size_t next_ = 0;
  std::size_t said_ = 0;
  std::size_t window_;
};

struct Tally {
  std::size_t wouldTidy = 0;
  std::size_t refused = 0;
  std::size_t tidy = 0;
};

void count(Tally& tally, FileState state) {
  if (state == FileState::kWouldTidy) {
    ++tally.wouldTidy;
  } else if (state == FileState::kTidy) {
    ++tally.tidy;
  } else {
    ++tally.refused;
  }
}

void write(std::FILE* stream, const std::string& text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

std::string summary(const Tally& tally) {
  return std::to_string(tally.wouldTidy) +
         (tally.wouldTidy == 1 ? " file" : " files") + " would be tidied, " +
         std::to_string(tally.refused) + " refused, " +
         std::to_string(tally.tidy) + " tidy\n";
}

// Checks the files on `jobs` threads and says each in order. Pair-marker
// numbers depend on the files before: a file checked with the wrong start
// is checked again once that start is known.
Tally checkAll(const std::vector<FileToCheck>& files,
               const CheckOptions& options, unsigned jobs) {
  ResultQueue queue(files.size(), std::size_t{4} * jobs);
  std::vector<std::jthread> workers;
  for (unsigned j = 0; j < jobs; ++j) {
    workers.emplace_back([&] {
      for (std::size_t index = 0; queue.take(index);) {
        queue.put(index, checkOne(files[index], options.run, 0));
      }
    });
  }
  Tally tally;
  std::int64_t openSeq = 0;
  for (std::size_t i = 0; i < files.size(); ++i) {
    Checked checked = queue.get(i);
    if (options.run.markerMode && openSeq > 0 && checked.check.openCount > 0) {
      checked = recheck(std::move(checked.original), options.run, openSeq);
    }
    openSeq += checked.check.openCount;
    count(tally, checked.check.state);
    const FileOutput output = renderFile(files[i].path, checked.original,
                                         checked.check, options.mode);
    write(stdout, output.out);
    if (!output.err.empty()) {
      std::fflush(stdout);  // keeps the two streams in order on a terminal
      write(stderr, output.err);
    }
  }
  return tally;
}

int usageError(const std::string& error) {
  write(stderr, "tagfmt-check: " + error + "\n" + std::string(usageText()));
  return 2;
}

}  // namespace

int runCheck(int argumentCount, char** arguments) {
  useBinaryStandardOutput();
  std::vector<std::string> words = programArguments(argumentCount, arguments);
  if (!words.empty()) words.erase(words.begin());
  CheckOptions options;
  const std::string error = parseCheckLine(words, options);
  if (options.help) {
    write(stdout, std::string(helpText()));
    return 0;
  }
  if (options.version) {
    write(stdout, "tagfmt-check " TAGFMT_VERSION "\n");
    return 0;
  }
  if (!error.empty()) return usageError(error);
  const std::vector<FileToCheck> files = listFiles(options.paths);
  const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
  const unsigned jobs = options.jobs != 0 ? options.jobs : cores;
  const Tally tally = checkAll(
      files, options,
      static_cast<unsigned>(std::min<std::size_t>(jobs, files.size() + 1)));
  std::fflush(stdout);
  if (options.mode != OutputMode::kStdout) write(stderr, summary(tally));
  if (tally.refused > 0) return 2;
  return tally.wouldTidy > 0 ? 1 : 0;
}

}  // namespace tagfmt
