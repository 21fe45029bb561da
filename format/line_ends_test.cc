// Line-end normalisation and the comparison that avoids building its result.
#include "format/line_ends.h"

#include <gtest/gtest.h>

namespace tagfmt {
namespace {

TEST(LineEnds, EveryBreakBecomesCrLf) {
  const struct {
    std::string_view text, normalised;
  } cases[] = {
      {"", ""},
      {"abc", "abc"},
      {"a\nb\n", "a\r\nb\r\n"},
      {"a\r\nb\r\n", "a\r\nb\r\n"},
      {"a\rb\r", "a\r\nb\r\n"},
      {"<td\rclass=x>", "<td\r\nclass=x>"},
      {"\n\r", "\r\n\r\n"},
      {"\r\r\n\n", "\r\n\r\n\r\n"},
      {std::string_view("a\0\nb", 4), std::string_view("a\0\r\nb", 5)},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(normaliseLineEnds(c.text), c.normalised) << c.text;
    EXPECT_TRUE(normalisedEquals(c.text, c.normalised)) << c.text;
    EXPECT_EQ(normaliseLineEnds(c.normalised), c.normalised) << c.text;
    std::string inPlace(c.text);
    normaliseLineEndsInPlace(inPlace);
    EXPECT_EQ(inPlace, c.normalised) << c.text;
  }
}

TEST(LineEnds, ComparisonFindsEveryDifference) {
  const struct {
    std::string_view text, original;
  } cases[] = {
      {"a\nb", "a\nb"},
      {"a\nb", "a\r\nb\r\n"},
      {"a\r\nb", "a\r\nc"},
      {"a", ""},
      {"", "a"},
      {"a\n", "a\r"},
      {"ab", "a"},
      {"a\rb", "a\rb"},
      {"a\r\nb", "a\r\n\r\nb"},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(normalisedEquals(c.text, c.original))
        << c.text << " against " << c.original;
  }
}

}  // namespace
}  // namespace tagfmt
