// tagfmt-check's run: files checked in parallel and said in order, or
// tidied one after another with --fix.
#include "check/run_check.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <unistd.h>
#endif

#include "check/check_file.h"
#include "check/command_line.h"
#include "check/file_walk.h"
#include "check/fix.h"
#include "check/render.h"
#include "driver/platform.h"
#include "report/names.h"

namespace tagfmt {

namespace {

// What a worker hands back for one file; the text only where the output
// needs it.
struct Checked {
  FileCheck check;
  std::unique_ptr<ReadText> text;
  std::string_view original() const {
    return text ? text->view() : std::string_view();
  }
};

// Whether a check keeps the file's text and tidied bytes after deciding:
// only for the outputs that show them, and for standard input in marker
// mode, which may be checked again but not read again.
bool keepsText(const CheckOptions& options, const FileToCheck& file) {
  const OutputMode mode = options.mode;
  return mode == OutputMode::kDiff || mode == OutputMode::kStdout ||
         (options.run.markerMode && file.kind == WalkEntry::kStandardInput);
}

// Decides `checked` from its text, which is read unless it is there.
void decide(const FileToCheck& file, const CheckOptions& options,
            std::int64_t openSeq, Checked& checked) {
  try {
    if (!checked.text) {
      checked.text = std::make_unique<ReadText>();
      if (!readFileToCheck(file, *checked.text, checked.check)) return;
    }
    checked.check = checkText(checked.text->view(), options.run, openSeq,
                              keepsText(options, file));
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

void write(std::FILE* stream, const std::string& text) {
  if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

// Says the runs' results as they come, in order, and keeps the JSON
// document and the tally.
class Sink {
 public:
  Sink(const CheckOptions& options, const RenderStyle& style)
      : options_(options), style_(style) {}

  void say(const FileToCheck& file, std::string_view original,
           const FileReport& report) {
    count(tally_, verdictOf(report));
    const std::string name = printableName(file.path);
    if (style_.format == OutputFormat::kJson) {
      files_.push_back(fileJson(name, report));
      return;
    }
    const FileOutput output =
        renderFile(name, original, report, options_.mode, style_);
    write(stdout, output.out);
    if (!output.err.empty()) {
      std::fflush(stdout);  // keeps the two streams in order on a terminal
      write(stderr, output.err);
    }
  }

  void finish() {
    if (style_.format == OutputFormat::kJson) {
      write(stdout,
            jsonText(Json{{"files", std::move(files_)},
                          {"summary", summaryJson(tally_, fixing())}}) +
                "\n");
    }
    std::fflush(stdout);
    if (options_.mode != OutputMode::kStdout && !options_.quiet &&
        style_.format != OutputFormat::kJson) {
      write(stderr, summaryLine(tally_, fixing()));
    }
  }

  const Tally& tally() const { return tally_; }

 private:
  bool fixing() const { return options_.mode == OutputMode::kFix; }

  const CheckOptions& options_;
  const RenderStyle& style_;
  Tally tally_;
  Json files_ = Json::array();
};

std::uint64_t sizeOf(const FileToCheck& file) {
  std::error_code error;
  if (file.kind != WalkEntry::kFile) return 0;
  const std::uint64_t size = std::filesystem::file_size(file.path, error);
  return error ? 0 : size;
}

// Checks the files on `jobs` threads and says each in order. Pair-marker
// numbers depend on the files before: a file checked with the wrong start
// is checked again once that start is known.
void checkAll(const std::vector<FileToCheck>& files,
              const CheckOptions& options, unsigned jobs, Sink& sink) {
  std::vector<std::uint64_t> sizes;
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
    if (options.run.markerMode && openSeq > 0 && checked.check.openCount > 0) {
      Checked again;
      again.text = std::move(checked.text);
      decide(files[i], options, openSeq, again);
      checked = std::move(again);
    }
    openSeq += checked.check.openCount;
    sink.say(files[i], checked.original(), checked.check.report);
  }
}

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

// Colour on a stream: as asked, or for auto on a terminal that takes it.
bool coloured(ColorChoice choice, std::FILE* stream) {
  if (choice != ColorChoice::kAuto) return choice == ColorChoice::kAlways;
  const char* noColour = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  return isTerminal(stream) && (noColour == nullptr || *noColour == '\0') &&
         !(term != nullptr && std::string_view(term) == "dumb");
}

int usageError(const std::string& error) {
  write(stderr, "tagfmt-check: " + error + "\n" + std::string(usageText()));
  return 2;
}

int exitStatus(const CheckOptions& options, const Tally& tally) {
  if (tally.refused > 0) return 2;
  if (options.mode == OutputMode::kFix || options.mode == OutputMode::kStdout) {
    return 0;
  }
  return tally.changed > 0 ? 1 : 0;
}

}  // namespace

int runCheck(int argumentCount, char** arguments) {
  useBinaryStandardOutput();
#ifdef _WIN32
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
#endif
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
  if (options.mode == OutputMode::kStdout &&
      (options.paths.size() > 1 || isFolder(options.paths[0]))) {
    return usageError("--stdout takes one file or -");
  }
  std::vector<FileToCheck> files = listFiles(
      options.paths, {options.excludes, !options.noIgnore, options.stdinName});
  const RenderStyle style{options.format, coloured(options.color, stdout),
                          coloured(options.color, stderr)};
  Sink sink(options, style);
  // Standard input that its name excludes is passed over; --stdout gives
  // it back as it came.
  std::erase_if(files, [&](const FileToCheck& file) {
    return file.excluded && options.mode != OutputMode::kStdout;
  });
  if (options.mode == OutputMode::kFix) {
    fixAll(files, options,
           [&sink](const FileToCheck& file, const FileReport& report) {
             sink.say(file, {}, report);
           });
  } else if (options.mode == OutputMode::kStdout && !files.empty() &&
             files[0].excluded) {
    Checked checked;
    checked.text = std::make_unique<ReadText>();
    readFileToCheck(files[0], *checked.text, checked.check);
    sink.say(files[0], checked.original(), checked.check.report);
  } else {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    const unsigned jobs = options.jobs != 0 ? options.jobs : cores;
    checkAll(
        files, options,
        static_cast<unsigned>(std::min<std::size_t>(jobs, files.size() + 1)),
        sink);
  }
  sink.finish();
  return exitStatus(options, sink.tally());
}

}  // namespace tagfmt
