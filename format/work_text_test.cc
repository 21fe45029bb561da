// The pass's output buffer against a plain string doing the same edits:
// sharing with the original, staging, taking back and the bound.
#include "format/work_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace tagfmt {
namespace {

// Applies random appends, breaks and take-backs to a WorkText and to a
// plain string, and checks that both end the same. The pieces come from
// the original itself (often at the very place they would be written), so
// the output shares with it for a while and then differs.
void checkAgainstModel(std::string_view original, unsigned seed, int steps) {
  std::mt19937 random(seed);
  const auto below = [&random](std::size_t n) {
    return static_cast<std::size_t>(random() % n);
  };
  std::string buffer;
  std::string model;
  WorkText out(buffer, std::size_t{1} << 30, original);
  for (int step = 0; step < steps; ++step) {
    const std::size_t kind = below(10);
    if (kind < 5) {
      // Mostly the next bytes of the original, sometimes any of its bytes.
      const std::size_t from = kind < 3 && model.size() < original.size()
                                   ? model.size()
                                   : below(original.size());
      const std::size_t count =
          std::min(below(kind == 4 ? 9000 : 40), original.size() - from);
      out.append(original.data() + from, count);
      model.append(original, from, count);
    } else if (kind < 7) {
      const std::size_t spaces = below(kind == 6 ? 5000 : 12);
      out.appendBreak(spaces);
      model += "\r\n" + std::string(spaces, ' ');
    } else if (kind < 8) {
      const std::size_t spaces = below(kind == 7 ? 5000 : 12);
      out.appendSpaces(spaces);
      model.append(spaces, ' ');
    } else {
      // Mostly a few bytes back, as a redone break; sometimes far back.
      const std::size_t back =
          std::min(model.size(), kind == 8 ? below(8) : below(6000));
      out.truncate(model.size() - back);
      model.resize(model.size() - back);
    }
    ASSERT_EQ(out.size(), model.size()) << "seed " << seed << " step " << step;
  }
  EXPECT_TRUE(out.finish() == model) << "seed " << seed;
}

TEST(WorkText, EndsAsThePlainStringDoingTheSameEdits) {
  std::string original;
  for (int i = 0; original.size() < 200000; ++i) {
    original += "<table>\r\n  <tr><td>" + std::to_string(i) + "</td>\r\n";
  }
  for (unsigned seed = 1; seed <= 40; ++seed) {
    checkAgainstModel(original, seed, 3000);
  }
}

TEST(WorkText, TidyOutputIsTheOriginalItself) {
  const std::string original = "<p>\r\n  x\r\n" + std::string(10000, 'y');
  std::string buffer;
  WorkText out(buffer, 1 << 20, original);
  out.append(original.data(), 3);
  out.appendBreak(4);  // differs, and is taken back
  out.truncate(3);
  out.appendBreak(2);
  out.append(original.data() + 7, original.size() - 7);
  const std::string_view text = out.finish();
  EXPECT_EQ(text.data(), original.data());
  EXPECT_EQ(text.size(), original.size());
}

TEST(WorkText, ABreakTakenBackWhileSharingIsSharedAgain) {
  const std::string original = "<p>\r\n  x\r\n";
  std::string buffer;
  WorkText out(buffer, 1 << 20, original);
  out.append(original.data(), 7);
  out.truncate(3);
  EXPECT_EQ(out.size(), 3u);
  EXPECT_EQ(out.lastByte(), '>');
  EXPECT_FALSE(out.skipShared(4, 3));  // not where the output stands
  EXPECT_TRUE(out.skipShared(3, 4));
  out.append(original.data() + 7, original.size() - 7);
  EXPECT_EQ(out.finish().data(), original.data());
}

TEST(WorkText, StopsStoringPastItsBoundButKeepsCounting) {
  for (const std::size_t limit : {std::size_t{10}, std::size_t{5000}}) {
    std::string buffer;
    WorkText out(buffer, limit, "");
    const std::string piece(limit - 2, 'x');
    out.append(piece.data(), piece.size());
    EXPECT_FALSE(out.overflowed());
    out.appendSpaces(5);
    EXPECT_TRUE(out.overflowed());
    EXPECT_EQ(out.size(), limit + 3);
    out.truncate(2);
    out.append("x", 1);  // nothing is stored after an overflow
    EXPECT_EQ(out.size(), 3u);
    EXPECT_TRUE(out.finish().empty());
  }
}

}  // namespace
}  // namespace tagfmt
