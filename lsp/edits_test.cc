#include "lsp/edits.h"

#include <gtest/gtest.h>

#include <string>

#include "lsp/test_client.h"

namespace tagfmt::lsp {
namespace {

TEST(LineEdits, TurnTheBufferIntoTheTidiedText) {
  struct Case {
    const char* name;
    std::string before;
    std::string after;
    std::size_t edits;
  };
  std::string many;
  std::string manyTidied;
  for (int i = 0; i < 300; ++i) {
    const std::string number = std::to_string(i);
    many.append("<tr>\r\n<td>").append(number).append("</td>\r\n");
    manyTidied.append("<tr>\r\n  <td>").append(number).append("</td>\r\n");
  }
  const Case cases[] = {
      {"equal", "a\r\nb", "a\r\nb", 0},
      {"one line", "a\r\n b\r\nc\r\n", "a\r\n  b\r\nc\r\n", 1},
      {"two apart", "a\r\nb\r\nc\r\nd\r\ne", "a\r\nB\r\nc\r\nD\r\ne", 2},
      {"a line split in two", "<table><tr>\r\nx", "<table>\r\n  <tr>\r\nx", 1},
      {"line ends", "a\nb\n", "a\r\nb\r\n", 1},
      {"a lone CR", "a\rb\r\n", "a\r\nb\r\n", 1},
      {"last line without a break", "a\r\nb", "a\r\n  b", 1},
      {"to empty", "a\r\n", "", 1},
      {"from empty", "", "a", 1},
      {"bytes that are not UTF-8", "\xE9\r\n\xFF x\r\n", "\xE9\r\n\xFFx\r\n",
       1},
      {"every other line", many, manyTidied, 300},
  };
  for (const Case& c : cases) {
    const std::vector<ByteEdit> edits = lineEdits(c.before, c.after);
    EXPECT_EQ(applyEdits(c.before, edits), c.after) << c.name;
    EXPECT_EQ(edits.size(), c.edits) << c.name;
    for (std::size_t i = 1; i < edits.size(); ++i) {
      EXPECT_LT(edits[i - 1].to, edits[i].from) << c.name;
    }
  }
}

TEST(LineEdits, TooManyDifferencesBecomeOneEdit) {
  std::string before = "head\n";
  std::string after = "head\n";
  for (int i = 0; i < 50; ++i) {
    const std::string number = std::to_string(i);
    before.append("x").append(number).append("\n");
    after.append("y").append(number).append("\n");
  }
  before += "tail";
  after += "tail";
  const std::vector<ByteEdit> edits = lineEdits(before, after, 20);
  ASSERT_EQ(edits.size(), 1u);
  EXPECT_EQ(edits[0].from, 5u);
  EXPECT_EQ(edits[0].to, before.size() - 4);
  EXPECT_EQ(applyEdits(before, edits), after);
}

}  // namespace
}  // namespace tagfmt::lsp
