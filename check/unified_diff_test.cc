// Diff headers for every kind of path, and hunks that keep every byte.
#include "check/unified_diff.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "report/line_diff.h"

namespace tagfmt {
namespace {

TEST(UnifiedDiff, HeadersNameThePathAsPatchToolsTakeIt) {
  const struct {
    const char* path;
    const char* header;
  } cases[] = {
      {"p.htm", "--- a/p.htm\n+++ b/p.htm\n"},
      {"./sub/p.htm", "--- a/sub/p.htm\n+++ b/sub/p.htm\n"},
      {"sub/../p.htm", "--- a/sub/../p.htm\n+++ b/sub/../p.htm\n"},
      {"../p.htm", "--- ../p.htm\n+++ ../p.htm\n"},
      {"sub/../../p.htm", "--- sub/../../p.htm\n+++ sub/../../p.htm\n"},
      {"/tmp/p.htm", "--- /tmp/p.htm\n+++ /tmp/p.htm\n"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(unifiedDiff(c.path, "a\n", "b\n").starts_with(c.header))
        << c.path << "\n"
        << unifiedDiff(c.path, "a\n", "b\n");
  }
}

TEST(UnifiedDiff, Hunks) {
  const struct {
    const char* name;
    std::string before;
    std::string after;
    std::string hunks;  // the diff after its two header lines
  } cases[] = {
      {"equal", "a\n", "a\n", ""},
      {"one line", "a\n", "b\n", "@@ -1,1 +1,1 @@\n-a\n+b\n"},
      {"line ends kept", "a\nb\n", "a\r\nb\r\n",
       "@@ -1,2 +1,2 @@\n-a\n-b\n+a\r\n+b\r\n"},
      {"no newline at end", "a", "a\r\n",
       "@@ -1,1 +1,1 @@\n-a\n\\ No newline at end of file\n+a\r\n"},
      {"added to an empty file", "", "a\n", "@@ -0,0 +1,1 @@\n+a\n"},
      {"context of three", "1\n2\n3\n4\nx\n5\n6\n7\n8\n",
       "1\n2\n3\n4\ny\n5\n6\n7\n8\n",
       "@@ -2,7 +2,7 @@\n 2\n 3\n 4\n-x\n+y\n 5\n 6\n 7\n"},
      {"two hunks", "x\n1\n2\n3\n4\n5\n6\n7\nx\n",
       "y\n1\n2\n3\n4\n5\n6\n7\ny\n",
       "@@ -1,4 +1,4 @@\n-x\n+y\n 1\n 2\n 3\n"
       "@@ -6,4 +6,4 @@\n 5\n 6\n 7\n-x\n+y\n"},
  };
  for (const auto& c : cases) {
    const std::string diff = unifiedDiff("p", c.before, c.after);
    const std::string header = "--- a/p\n+++ b/p\n";
    EXPECT_EQ(diff, c.hunks.empty() ? "" : header + c.hunks) << c.name;
  }
}

TEST(UnifiedDiff, StaysBelowAndColour) {
  EXPECT_TRUE(staysBelow("a/b/../c"));
  EXPECT_FALSE(staysBelow("a/../../c"));
  EXPECT_FALSE(staysBelow("C:/x"));
  EXPECT_FALSE(staysBelow(""));
  EXPECT_EQ(colourDiff("--- a/p\n@@ -1 +1 @@\n-a\n+b\n c\n"),
            "\033[1m--- a/p\033[0m\n\033[36m@@ -1 +1 @@\033[0m\n"
            "\033[31m-a\033[0m\n\033[32m+b\033[0m\n c\n");
}

TEST(UnifiedDiff, AbsolutePathsBelowTheFolderBecomeRelative) {
  const struct {
    const char *path, *folder, *shown;
  } cases[] = {
      {"/w/site/a.htm", "/w", "site/a.htm"},
      {"/w/site/a.htm", "/w/", "site/a.htm"},
      {"/w//a.htm", "/w", "a.htm"},
      {"/a.htm", "/", "a.htm"},
      {"/wx/a.htm", "/w", "/wx/a.htm"},
      {"/w/../x/a.htm", "/w", "/w/../x/a.htm"},
      {"/v/a.htm", "/w", "/v/a.htm"},
      {"a.htm", "/w", "a.htm"},
      {"/w/a.htm", "", "/w/a.htm"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(relativeBelow(c.path, c.folder), c.shown) << c.path;
  }
}

}  // namespace
}  // namespace tagfmt

namespace tagfmt {
namespace {

// Splits `text` at LF, as the diff does.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = std::min(text.find('\n', at), text.size() - 1);
    lines.push_back(text.substr(at, end + 1 - at));
    at = end + 1;
  }
  return lines;
}

// A large page is diffed a window at a time: whatever the window, the runs
// must be in order, and every line outside them common to both texts, in
// step; a window that holds the whole texts gives the one-piece diff.
TEST(LineDiff, RunsInWindowsAreATrueDiff) {
  const auto page = [](int count, int every, const char* changed) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      if (i % every == 0) text += changed;
      text += std::to_string(i);
      text += i % 5 == 0 ? "\r\n" : "\n";
    }
    return text;
  };
  const struct {
    std::string before;
    std::string after;
  } kPairs[] = {
      {page(200, 7, "<td>"), page(200, 3, "  <td>")},
      {page(200, 1, "a"), page(300, 1, "b")},     // nothing common
      {page(50, 1000, ""), page(250, 1000, "")},  // lines added at the end
      {page(250, 1000, ""), page(50, 1000, "")},  // and taken away
      {page(100, 9, "x") + "no end", page(100, 4, "x")},
      {"", page(20, 2, "y")},
  };
  for (const auto& pair : kPairs) {
    const std::vector<std::string> before = linesOf(pair.before);
    const std::vector<std::string> after = linesOf(pair.after);
    const std::vector<ChangedRun> whole = changedRuns(pair.before, pair.after);
    for (const std::size_t window : {1, 2, 3, 7, 64, 100000}) {
      SCOPED_TRACE(window);
      const std::vector<ChangedRun> runs =
          changedRuns(pair.before, pair.after, window);
      std::size_t i = 0;
      std::size_t j = 0;
      for (const ChangedRun& run : runs) {
        ASSERT_LE(i, run.oldFrom);
        ASSERT_EQ(run.oldFrom - i, run.newFrom - j);
        for (; i < run.oldFrom; ++i, ++j) ASSERT_EQ(before[i], after[j]);
        ASSERT_TRUE(run.oldFrom < run.oldTo || run.newFrom < run.newTo);
        i = run.oldTo;
        j = run.newTo;
      }
      ASSERT_EQ(before.size() - i, after.size() - j);
      for (; i < before.size(); ++i, ++j) ASSERT_EQ(before[i], after[j]);
      if (window >= 300) {
        EXPECT_EQ(runs, whole);
      }
    }
  }
}

}  // namespace
}  // namespace tagfmt
