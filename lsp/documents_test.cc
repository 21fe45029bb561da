#include "lsp/documents.h"

#include <gtest/gtest.h>

namespace tagfmt::lsp {
namespace {

constexpr auto kUtf16 = PositionEncoding::kUtf16;
constexpr auto kUtf8 = PositionEncoding::kUtf8;

// The lines of `text`, which `index` indexes: the end of the text is on the
// last, empty when the text ends with a line break.
std::size_t lineCount(const LineIndex& index, std::string_view text) {
  return static_cast<std::size_t>(index.position(text.size()).line) + 1;
}

// "é" is 2 bytes and 1 UTF-16 unit, "€" 3 and 1, "𝄞" 4 and 2; \xE9 alone
// and \xC0\xAF (overlong) are not UTF-8 and count one unit a byte. A
// position out of range stands for the nearest end, one way only.
TEST(Positions, OffsetsAndPositionsAgree) {
  struct Case {
    const char* text;
    PositionEncoding encoding;
    Position position;
    std::size_t offset;
    bool bothWays = true;
  };
  const Case cases[] = {
      {"ab\ncd", kUtf16, {1, 1}, 4},
      {"ab\r\ncd", kUtf16, {1, 0}, 4},
      {"ab\rcd", kUtf16, {1, 2}, 5},
      {"a\xC3\xA9z", kUtf16, {0, 2}, 3},
      {"a\xC3\xA9z", kUtf8, {0, 3}, 3},
      {"\xE2\x82\xAC<td>", kUtf16, {0, 1}, 3},
      {"\xF0\x9D\x84\x9Ez", kUtf16, {0, 2}, 4},
      {"\xF0\x9D\x84\x9Ez", kUtf16, {0, 3}, 5},
      {"\xF0\x9D\x84\x9Ez", kUtf8, {0, 4}, 4},
      {"x\n\xE9<tr>", kUtf16, {1, 1}, 3},
      {"x\n\xE9<tr>", kUtf8, {1, 1}, 3},
      {"\xC0\xAF<", kUtf16, {0, 2}, 2},
      {"\xE2\x82<", kUtf16, {0, 2}, 2},
      {"ab\r\ncd", kUtf16, {0, 9}, 2, false},   // past the line: its break
      {"ab\ncd", kUtf16, {7, 0}, 5, false},     // past the last line: the end
      {"a\xC3\xA9z", kUtf8, {0, 2}, 1, false},  // inside a sequence: its start
      {"\xF0\x9D\x84\x9Ez", kUtf16, {0, 1}, 0, false},  // between surrogates
      {"", kUtf16, {0, 0}, 0},
  };
  for (const Case& c : cases) {
    const LineIndex index(c.text, c.encoding);
    EXPECT_EQ(index.offset(c.position), c.offset)
        << c.text << " " << c.position.line << ":" << c.position.character;
    if (c.bothWays) {
      EXPECT_EQ(index.position(c.offset), c.position) << c.text;
    }
  }
}

TEST(Positions, LineContent) {
  constexpr std::string_view kText = "a\r\n  bc\rd\n";
  const LineIndex index(kText, kUtf16);
  ASSERT_EQ(lineCount(index, kText), 4u);
  EXPECT_EQ(index.lineStart(1), 3u);
  EXPECT_EQ(index.lineEnd(1), 7u);
  EXPECT_EQ(index.lineEnd(2), 9u);
  EXPECT_EQ(index.lineStart(3), 10u);
  EXPECT_EQ(index.lineEnd(3), 10u);
}

TEST(Documents, RangeChanges) {
  Document document{"<table>\r\n<tr>\xC3\xA9</tr>\r\n</table>"};
  // Replace "é" (one UTF-16 unit) with two characters, then join two lines.
  ASSERT_TRUE(applyRangeChange(document, {1, 4}, {1, 5}, "ab", kUtf16));
  EXPECT_EQ(document.text, "<table>\r\n<tr>ab</tr>\r\n</table>");
  ASSERT_TRUE(applyRangeChange(document, {0, 7}, {1, 0}, "", kUtf16));
  EXPECT_EQ(document.text, "<table><tr>ab</tr>\r\n</table>");
  ASSERT_TRUE(applyRangeChange(document, {9, 0}, {9, 0}, "\r\n", kUtf16));
  EXPECT_EQ(document.text, "<table><tr>ab</tr>\r\n</table>\r\n");
  EXPECT_FALSE(applyRangeChange(document, {1, 2}, {0, 1}, "x", kUtf16));
  EXPECT_EQ(document.text, "<table><tr>ab</tr>\r\n</table>\r\n");
}

}  // namespace
}  // namespace tagfmt::lsp
