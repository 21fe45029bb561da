#include "lsp/framing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tagfmt::lsp {
namespace {

// What the reader made of the stream: "M:body", "B" or "L" per frame.
std::vector<std::string> framesOf(const std::vector<std::string>& pieces,
                                  std::size_t limit = 100) {
  FrameReader reader(limit);
  std::vector<std::string> seen;
  Frame frame;
  for (const std::string& piece : pieces) {
    reader.feed(piece);
    while (reader.next(frame)) {
      switch (frame.kind) {
        case FrameKind::kMessage:
          seen.push_back("M:" + frame.body);
          break;
        case FrameKind::kBadHeader:
          seen.push_back("B");
          break;
        case FrameKind::kTooLarge:
          seen.push_back("L");
          break;
      }
    }
  }
  return seen;
}

TEST(Framing, CutsTheStreamIntoMessages) {
  struct Case {
    const char* name;
    std::vector<std::string> pieces;
    std::vector<std::string> frames;
  };
  const std::string ab = frameMessage("ab");
  const Case cases[] = {
      {"one", {ab}, {"M:ab"}},
      {"two in one read", {ab + frameMessage("{}")}, {"M:ab", "M:{}"}},
      {"split in the header",
       {"Content-Len", "gth: 2\r", "\n\r\nab"},
       {"M:ab"}},
      {"split in the body",
       {"Content-Length: 3\r\n\r\na", "b", "c"},
       {"M:abc"}},
      {"byte by byte", {}, {"M:ab"}},
      {"other headers and any case",
       {"Content-Type: application/vscode-jsonrpc; charset=utf-8\r\n"
        "content-length:  2 \r\n\r\nab"},
       {"M:ab"}},
      {"empty body", {"Content-Length: 0\r\n\r\n" + ab}, {"M:", "M:ab"}},
      {"no length, then a good one", {"X: 1\r\n\r\n" + ab}, {"B", "M:ab"}},
      {"a length that is no number",
       {"Content-Length: 1x\r\n\r\n" + ab},
       {"B", "M:ab"}},
      {"a body too long for its length runs into the next header",
       {"Content-Length: 1\r\n\r\nxyz" + ab},
       {"M:x", "B", "M:ab"}},
      {"too large, skipped as it comes",
       {"Content-Length: 150\r\n\r\n", std::string(100, 'x'),
        std::string(50, 'y') + ab},
       {"L", "M:ab"}},
      {"a huge length",
       {"Content-Length: 99999999999999999999\r\n\r\n" + ab},
       {"B", "M:ab"}},
      {"a header with no end", {std::string(9000, 'h'), ab}, {"B", "M:ab"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> pieces = c.pieces;
    if (pieces.empty()) {
      for (const char byte : ab) pieces.emplace_back(1, byte);
    }
    EXPECT_EQ(framesOf(pieces), c.frames) << c.name;
  }
}

TEST(Framing, FramesABody) {
  EXPECT_EQ(frameMessage("{}"), "Content-Length: 2\r\n\r\n{}");
}

}  // namespace
}  // namespace tagfmt::lsp
