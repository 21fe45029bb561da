// The engine's decision against the plain reference, on the pages that once
// lost bytes and on generated nested pages; and the check every tidied text
// gets before it is used.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "format/decision.h"
#include "format/format.h"
#include "tests/page_generator.h"
#include "tests/reference_pass.h"
#include "tests/test_util.h"
#include "web/playground.h"

namespace tagfmt {
namespace {

using testing::withCr;
using testing::withCrLf;

// A page as a C string literal would spell it, for failure messages.
std::string shown(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (static_cast<unsigned char>(c) < 0x20) {
      const char* const hex = "0123456789abcdef";
      out += {'\\', 'x', hex[c >> 4], hex[c & 15]};
    } else {
      out += c;
    }
  }
  return out;
}

// Sound pages whose take-backs once cut away what was written after them;
// "\n" stands for each kind of line end.
const char* const kTakeBackPages[] = {
    "<div><form>\n\n</form> </div>\n",
    "<div>\n<form>\n\n</form>}\n</div>\n",
    "<td>\n\n</td><a></a>",
    "<font><table>\n  \n</table>\n</font>",
    "<div>\n  <div>\n    <FORM method=\"post\">\n      <P><input "
    "type=\"submit\" "
    "value=\"Change Settings\"></P>\n\n    </FORM>}\n  </div>\n</div>\n",
    "<html><body><table>\n<body>\n</body>\n\n</table><div></div></body></html>",
    "<table><tr>\n\n</tr>\n\n</table>x\n<td>\n\t\n</td><td></td>",
};

// The engine agrees with the reference, keeps the content and settles.
void expectAgrees(std::string_view page, const RunOptions& options,
                  std::int64_t openSeq, const std::string& what) {
  const TextDecision got = decideText(page, options, openSeq);
  const reference::Result want = reference::decide(page, options, openSeq);
  ASSERT_EQ(got.outcome, want.outcome) << what;
  EXPECT_EQ(got.tidied, want.tidied) << what;
  EXPECT_EQ(got.faults, want.faults) << what;
  EXPECT_EQ(got.openCount, want.openCount) << what;
  if (got.outcome == TextOutcome::kChanged) {
    EXPECT_TRUE(keepsContent(page, got.tidied)) << what;
    EXPECT_EQ(decideText(got.tidied, options, openSeq).outcome,
              TextOutcome::kTidy)
        << what;
  }
}

TEST(Reference, TakeBacksKeepWhatWasWrittenSince) {
  for (const char* page : kTakeBackPages) {
    const std::string forms[] = {page, withCrLf(page), withCr(page)};
    for (const std::string& form : forms) {
      // Marker numbers of one, two and three digits.
      for (const std::int64_t openSeq : {0, 9, 99}) {
        for (const bool markers : {false, true}) {
          RunOptions options;
          options.markerMode = markers;
          expectAgrees(form, options, openSeq,
                       shown(form) + " from " + std::to_string(openSeq) +
                           (markers ? " with markers" : ""));
          EXPECT_NE(decideText(form, options, openSeq).outcome,
                    TextOutcome::kFaults);
        }
      }
    }
  }
}

// Enough generated pages to meet every construct in every layout; the
// fuzzer goes on where this stops.
TEST(Reference, GeneratedNestedPages) {
  std::mt19937 random(24);
  std::uniform_int_distribution<int> byte(0, 255);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::uint8_t> bytes(20 + round % 200);
    for (std::uint8_t& b : bytes) b = static_cast<std::uint8_t>(byte(random));
    testing::Choices choices(bytes.data(), bytes.size());
    const std::string page = testing::generatePage(choices);
    RunOptions options;
    options.markerMode = round % 2 == 1;
    const std::int64_t openSeq = round % 4 == 0 ? 0 : 990 + round % 20;
    expectAgrees(page, options, openSeq, shown(page));
    if (::testing::Test::HasFailure()) return;
  }
}

TEST(Net, WhatTheContentIs) {
  struct Case {
    std::string_view original;
    std::string_view tidied;
    bool kept;
  };
  const Case cases[] = {
      {"<td>a b</td>", "<td>\r\n  a  b\t</td>", true},
      {"a\v\fb", "ab", true},
      {"<td><!--@12@-->x", "<td>x<!--@3@-->", true},
      {"<td>x</td>", "<td>x</td", false},
      {"<td>x</td>", "<td>x</td></td>", false},
      {"<td>x</td>", "<td>y</td>", false},
      {"<!--@@-->x", "x", false},  // the author's comment, not a marker
      {"<!--@1@", "", false},      // not a whole marker
      {"\xc2\xa0x", "x", false},   // a no-break space is content
      {"", "\r\n  ", true},
      // A marker that runs past the first difference.
      {"a<!--@1@-->b", "a<!--@23@-->\r\nb", true},
      {"a<!--@1@-->b", "a<!--@1@->b", false},
      {"a<!--@1", "a<!--@1@-->", false},
      {"x<!--@123@-->y", "x<!--@12y", false},
      {"<td>\r\n  x</td>", "<td>x\r\n</td>", true},
      // The first difference after each byte a marker's start may end in.
      {"x<!--@5@-->y", "x<\r\n!--@5@-->y", false},
      {"x<!--@5@-->y", "x<!\r\n--@5@-->y", false},
      {"x<!--@5@-->y", "x<!-\r\n-@5@-->y", false},
      {"x<!--@5@-->y", "x<!--@\r\n5@-->y", false},
      {"x<!--@5@-->y", "x<!--@56@-->y", true},
      {"x<!--@5@-->y", "x<!--@5@\r\n-->y", false},
      {"x<!--@5@-->y", "x\r\n<!--@5@-->y", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(keepsContent(c.original, c.tidied), c.kept)
        << shown(c.original) << " -> " << shown(c.tidied);
  }
}

const char kUntidy[] = "<table>\n<tr><td>x</td></tr>\n</table>\n";

TEST(Net, ABrokenPassIsNeverUsed) {
  const testing::BrokenPass broken;
  for (const bool lineEndsOnly : {false, true}) {
    RunOptions options;
    options.lineEndsOnly = lineEndsOnly;
    const TextDecision decision = decideAndExplain(kUntidy, options, 0);
    EXPECT_EQ(decision.outcome, TextOutcome::kInternalError);
    EXPECT_TRUE(decision.tidied.empty());
    EXPECT_TRUE(decision.notes.empty());
  }
  const PageResult page = tidyForPage(kUntidy, RunOptions{}, "p.htm");
  EXPECT_FALSE(page.written);
  EXPECT_NE(pageResultJson(page).find(
                "internal error: tidying would change the page's content"),
            std::string::npos);
}

}  // namespace
}  // namespace tagfmt
