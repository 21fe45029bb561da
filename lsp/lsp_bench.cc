// How soon tagfmt-lsp publishes diagnostics after a change to a 1 MB
// document, debounce included: the median and the slowest of 21 changes.
//   tagfmt_lsp_bench SERVER [PAGE...]
// The pages, joined until 1 MB, make the document; without any, rows of a
// table that needs tidying do.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lsp/test_client.h"

namespace {

using json = tagfmt::ProtocolJson;
using Clock = std::chrono::steady_clock;

std::string documentOf(int count, char** pages) {
  std::string text;
  constexpr std::size_t kSize = 1 << 20;
  while (text.size() < kSize) {
    const std::size_t before = text.size();
    for (int i = 0; i < count && text.size() < kSize; ++i) {
      std::ifstream in(pages[i], std::ios::binary);
      text.append(std::istreambuf_iterator<char>(in), {});
    }
    if (text.size() == before) {
      text += "<table>\r\n<tr><td>x</td>\r\n</tr>\r\n</table>\r\n";
    }
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tagfmt_lsp_bench SERVER [PAGE...]\n");
    return 2;
  }
  using tagfmt::lsp::notificationMessage;
  using tagfmt::lsp::requestMessage;
  const std::string text = documentOf(argc - 2, argv + 2);
  tagfmt::lsp::ServerProcess server(argv[1]);
  const std::chrono::milliseconds wait{20000};
  server.send(requestMessage(1, "initialize", json::object()));
  server.send(notificationMessage(
      "textDocument/didOpen",
      {{"textDocument",
        {{"uri", "file:///big.htm"}, {"version", 1}, {"text", text}}}}));
  const auto published = [&](int version) {
    return server.nextWhere(
        [version](const json& m) {
          return m.value("method", "") == "textDocument/publishDiagnostics" &&
                 m["params"].value("version", 0) == version;
        },
        wait);
  };
  const json first = published(1);
  if (first.is_discarded()) {
    std::fprintf(stderr, "no diagnostics for the opened document\n");
    return 1;
  }
  std::vector<double> times;
  for (int version = 2; version <= 22; ++version) {
    // A space typed at the start of a line somewhere in the middle.
    const int line = 1000 + version * 37;
    const json change = notificationMessage(
        "textDocument/didChange",
        {{"textDocument", {{"uri", "file:///big.htm"}, {"version", version}}},
         {"contentChanges",
          {{{"range",
             {{"start", {{"line", line}, {"character", 0}}},
              {"end", {{"line", line}, {"character", 0}}}}},
            {"text", " "}}}}});
    const auto start = Clock::now();
    server.send(change);
    if (published(version).is_discarded()) {
      std::fprintf(stderr, "no diagnostics for version %d\n", version);
      return 1;
    }
    times.push_back(
        std::chrono::duration<double, std::milli>(Clock::now() - start)
            .count());
  }
  std::sort(times.begin(), times.end());
  std::printf("%zu %d %.1f %.1f\n", text.size(),
              static_cast<int>(first["params"]["diagnostics"].size()),
              times[times.size() / 2], times.back());
  server.send(requestMessage(2, "shutdown", nullptr));
  server.send(notificationMessage("exit", nullptr));
  return server.finish() == 0 ? 0 : 1;
}
