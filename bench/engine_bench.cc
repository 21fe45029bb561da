// In-process speed of the engine and the line-end work, in MB/s, on the real
// pages beside the project and on large texts made from them.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "driver/platform_io.h"
#include "format/format.h"
#include "format/line_ends.h"

namespace tagfmt {
namespace {

namespace fs = std::filesystem;

std::string readWhole(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

Formatted formatQuietly(std::string_view text, std::string& work) {
  NestingFaults faults;
  std::int64_t openSeq = 0;
  return formatText(text, work, RunOptions{}, openSeq, faults);
}

// A page that nests soundly and ends outside any construct, so pages of
// this kind can be joined into one large sound text.
bool joinsSoundly(const std::string& page) {
  std::string work;
  if (formatQuietly(page, work).verdict != Verdict::kSound) return false;
  NestingFaults faults;
  std::int64_t openSeq = 0;
  formatText(page + "</table>", work, RunOptions{}, openSeq, faults);
  return faults.size() == 1 && faults[0].kind == FaultKind::kUnexpected;
}

struct Texts {
  std::vector<std::string> pages;
  std::string joined;     // every page, one after another, about 50 MB
  std::string tidyLarge;  // about 50 MB of sound pages, already formatted
};

const Texts& texts() {
  static const Texts loaded = [] {
    Texts t;
    const fs::path dir =
        fs::path(TAGFMT_SOURCE_DIR) / ".." / "shared" / "corpus";
    if (!fs::is_directory(dir)) return t;
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      const auto ext = entry.path().extension();
      if (ext == ".html" || ext == ".htm" || ext == ".xsl") {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    std::string sound;
    for (const fs::path& file : files) {
      t.pages.push_back(readWhole(file));
      if (joinsSoundly(t.pages.back())) sound += t.pages.back();
    }
    constexpr std::size_t kLarge = 50u << 20;
    while (t.joined.size() < kLarge) {
      for (const std::string& page : t.pages) t.joined += page;
    }
    std::string large;
    while (!sound.empty() && large.size() < kLarge) large += sound;
    // A pass can leave a place for the next to settle (a closing tag
    // joined to the line before it moves the break after it), so format
    // until nothing changes: two rounds left the text still untidy 1% in.
    for (int round = 0; round < 8; ++round) {
      std::string work;
      const std::string_view formatted = formatQuietly(large, work).text;
      if (formatted.data() == large.data()) break;
      large = normaliseLineEnds(formatted);
    }
    t.tidyLarge = std::move(large);
    return t;
  }();
  return loaded;
}

bool haveCorpus(benchmark::State& state) {
  if (!texts().pages.empty()) return true;
  state.SkipWithError("no ../shared/corpus beside the project");
  return false;
}

void formatLoop(benchmark::State& state, const std::string& text) {
  std::string work;
  for (auto _ : state) {
    benchmark::DoNotOptimize(formatQuietly(text, work).text.data());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * text.size()));
}

void formatPages(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  std::size_t bytes = 0;
  std::string work;
  for (auto _ : state) {
    for (const std::string& page : texts().pages) {
      benchmark::DoNotOptimize(formatQuietly(page, work).text.data());
      bytes += page.size();
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(formatPages)->Unit(benchmark::kMillisecond);

void formatLargeTidy(benchmark::State& state) {
  if (haveCorpus(state)) formatLoop(state, texts().tidyLarge);
}
BENCHMARK(formatLargeTidy)->Unit(benchmark::kMillisecond);

void formatLargeUntidy(benchmark::State& state) {
  if (haveCorpus(state)) formatLoop(state, texts().joined);
}
BENCHMARK(formatLargeUntidy)->Unit(benchmark::kMillisecond);

// Dense tags and line breaks, nearly all of them to move or re-indent: the
// pass's own cost per tag, with no long runs of text to hide it.
void formatDenseUntidy(benchmark::State& state) {
  static const std::string dense = [] {
    const std::string_view piece = "<table>\n<tr><td>x</td>\n</tr>\n</table>\n";
    std::string text;
    text.reserve(1300000 * piece.size());
    for (int i = 0; i < 1300000; ++i) text += piece;
    return text;
  }();
  formatLoop(state, dense);
}
BENCHMARK(formatDenseUntidy)->Unit(benchmark::kMillisecond);

void normaliseLargeUntidy(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  const std::string& text = texts().joined;
  for (auto _ : state) benchmark::DoNotOptimize(normaliseLineEnds(text).data());
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(normaliseLargeUntidy)->Unit(benchmark::kMillisecond);

void compareNormalised(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  const std::string& text = texts().tidyLarge;
  const std::string copy = text;
  for (auto _ : state) benchmark::DoNotOptimize(normalisedEquals(copy, text));
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(compareNormalised)->Unit(benchmark::kMillisecond);

void checkAlreadyNormalised(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  const std::string& text = texts().tidyLarge;
  for (auto _ : state) benchmark::DoNotOptimize(isNormalised(text));
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(checkAlreadyNormalised)->Unit(benchmark::kMillisecond);

// The last check before a large mapped file is swapped or rewritten: its
// bytes are hashed at the read and again, read back, at the end. This is
// the hash's share; the read back costs what a cat of the file does.
void hashReadBytes(benchmark::State& state) {
  if (!haveCorpus(state)) return;
  const std::string& text = texts().joined;
  for (auto _ : state) {
    ByteHash hash;
    hash.add(text);
    benchmark::DoNotOptimize(hash.value());
  }
  state.SetBytesProcessed(
      static_cast<std::int64_t>(state.iterations() * text.size()));
}
BENCHMARK(hashReadBytes)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace tagfmt

BENCHMARK_MAIN();
