// The construct scanner: quotes, terminators, skipping and pair markers.
#include "format/scanner.h"

#include <gtest/gtest.h>

#include "format/work_text.h"

namespace tagfmt {
namespace {

struct ScanCase {
  const char* input;
  char terminator;
  bool copy;
  bool markerMode;
  std::int64_t marker;
  const char* output;
  std::size_t consumed;
  std::uint64_t lines;  // line breaks counted inside the construct
};

TEST(ScanConstruct, CopiesThroughTheClosingBracket) {
  const ScanCase cases[] = {
      {"<td>x", kNoTerminator, true, false, 0, "<td>", 4, 0},
      {"<a href='x>y'>z", kNoTerminator, true, false, 0, "<a href='x>y'>", 14,
       0},
      {"<a t=\"x>y\">z", kNoTerminator, true, false, 0, "<a t=\"x>y\">", 11, 0},
      {"<a t=\"it's\">z", kNoTerminator, true, false, 0, "<a t=\"it's\">", 12,
       0},
      {"<a t='say \"hi'>z", kNoTerminator, true, false, 0, "<a t='say \"hi'>",
       15, 0},
      {"<!-- x > y -->z", '-', true, false, 0, "<!-- x > y -->", 14, 0},
      {"<!-->z", '-', true, false, 0, "<!-->", 5, 0},
      {"<!-- don't -->z", '-', true, false, 0, "<!-- don't -->z", 15, 0},
      {"<!DOCTYPE html>\n<p>-->z", '-', true, false, 0,
       "<!DOCTYPE html>\n<p>-->", 22, 1},
      {"<?xml v='1'?>z", '?', true, false, 0, "<?xml v='1'?>", 13, 0},
      {"<?a > b?>z", '?', true, false, 0, "<?a > b?>", 9, 0},
      {"<!--@12@-->z", kNoTerminator, false, false, 0, "", 11, 0},
      {"<!--@ junk >z", kNoTerminator, false, true, 0, "", 12, 0},
      {"<td>x", kNoTerminator, true, true, 12, "<td><!--@12@-->", 4, 0},
      {"<td>x", kNoTerminator, true, false, 12, "<td>", 4, 0},
      {"<td>x", kNoTerminator, true, true, 0, "<td>", 4, 0},
      {"<td", kNoTerminator, true, true, 5, "<td", 3, 0},
      {"<td\n\n  x>", kNoTerminator, true, false, 0, "<td\n\n  x>", 9, 2},
      {"<td\r\nx\r>", kNoTerminator, true, false, 0, "<td\r\nx\r>", 8, 1},
      {"<", kNoTerminator, true, true, 3, "<", 1, 0},
  };
  for (const ScanCase& c : cases) {
    std::string buffer;
    WorkText out(buffer, 1 << 20, "");
    ScanInput in{c.input, 0, 1};
    scanConstruct(in, out, c.markerMode, c.terminator, c.copy, c.marker);
    EXPECT_EQ(out.finish(), c.output) << "input: " << c.input;
    EXPECT_EQ(in.pos, c.consumed) << "input: " << c.input;
    EXPECT_EQ(in.line, 1 + c.lines) << "input: " << c.input;
  }
}

TEST(StartsWithPairMarker, OnlyTheFormTheToolWrites) {
  EXPECT_TRUE(startsWithPairMarker("<!--@1@-->"));
  EXPECT_TRUE(startsWithPairMarker("<!--@42@--><td>"));
  for (const char* text :
       {"<!--@", "<!--@@-->", "<!--@@== doc -->", "<!--@1@->", "<!--@1 @-->",
        "<!--@-1@-->", "<!-- @1@-->", "<!--@1@"}) {
    EXPECT_FALSE(startsWithPairMarker(text)) << text;
  }
}

}  // namespace
}  // namespace tagfmt
