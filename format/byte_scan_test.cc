// The block-at-a-time scans against byte-by-byte references, on random
// texts long enough to cross several 16-byte blocks.
#include "format/byte_scan.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "format/scanner.h"
#include "format/tag_rules.h"
#include "format/work_text.h"

namespace tagfmt {
namespace {

// Every way examineText may take; the processor's own is among them.
constexpr TextShape (*kExamineWays[])(const char*, std::size_t) = {
    examineText, examineTextPortable, examineTextSse2, examineTextAvx2};

std::string randomText(std::mt19937& random, std::string_view alphabet,
                       std::size_t maxLength) {
  std::string text(random() % (maxLength + 1), ' ');
  for (char& c : text) c = alphabet[random() % alphabet.size()];
  return text;
}

// The construct scanner written the plain way, byte by byte.
std::string referenceScan(std::string_view text, char terminator,
                          std::uint64_t& lines, std::size_t& consumed) {
  bool inDouble = false, inSingle = false;
  for (std::size_t pos = 0; pos < text.size(); ++pos) {
    const char byte = text[pos];
    if (!inSingle && byte == '"') inDouble = !inDouble;
    if (!inDouble) {
      if (byte == '\'') inSingle = !inSingle;
      if (!inSingle && byte == '>' &&
          (terminator == kNoTerminator ||
           (pos > 0 && text[pos - 1] == terminator))) {
        consumed = pos + 1;
        std::string scanned(text.substr(0, pos + 1));
        scanned += "<!--@7@-->";
        return scanned;
      }
    }
    if (byte == '\n') ++lines;
  }
  consumed = text.size();
  return std::string(text);
}

TEST(ByteScan, ConstructScanMatchesTheByteByByteRules) {
  std::mt19937 random(20261208);
  for (int round = 0; round < 20000; ++round) {
    // Some texts hold one kind of quote only, which blocks handle apart,
    // and some close so rarely that they run on for many blocks.
    const char* alphabets[] = {"ab>\"'\n-?<  ", "aab>\"\n-?  ", "aab>'\n-?  ",
                               "aaaaaaaaaaaaaaaaaaaa>\"'\n-"};
    std::string text = "<";
    text += randomText(random, alphabets[round % 4], 300);
    const char terminator = "\0-?"[(round / 4) % 3];
    std::uint64_t expectedLines = 1;
    std::size_t expectedConsumed = 0;
    const std::string expected =
        referenceScan(text, terminator, expectedLines, expectedConsumed);
    std::string buffer;
    WorkText out(buffer, 1 << 20, "");
    ScanInput in{text, 0, 1};
    scanConstruct(in, out, true, terminator, true, 7);
    ASSERT_EQ(out.finish(), expected) << text;
    ASSERT_EQ(in.pos, expectedConsumed) << text;
    ASSERT_EQ(in.line, expectedLines) << text;
  }
}

TEST(ByteScan, SearchesAndCrLfCheckMatchTheByteByByteRules) {
  std::mt19937 random(7);
  for (int round = 0; round < 20000; ++round) {
    std::string text = randomText(random, "aaaa\r\n<", 70);
    const std::size_t from = text.empty() ? 0 : random() % (text.size() + 1);
    std::size_t expected = text.find_first_of("<\n", from);
    if (expected == std::string::npos) expected = text.size();
    ASSERT_EQ((findAny<'<', '\n'>(text.data(), from, text.size())), expected);
    std::size_t notExpected = text.find_first_not_of("a\r", from);
    if (notExpected == std::string::npos) notExpected = text.size();
    ASSERT_EQ((findNotAny<'a', '\r'>(text.data(), from, text.size())),
              notExpected);

    bool crLfOnly = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const bool lfAfterCr = text[i] == '\n' && i > 0 && text[i - 1] == '\r';
      const bool crBeforeLf =
          text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
      if ((text[i] == '\n' && !lfAfterCr) || (text[i] == '\r' && !crBeforeLf)) {
        crLfOnly = false;
      }
    }
    for (const auto examine : kExamineWays) {
      ASSERT_EQ(examine(text.data(), text.size()), (TextShape{false, crLfOnly}))
          << text;
    }
  }
}

// A plain tag's end by the rule itself: the first ">" outside quotes,
// unless a line break or NUL comes first or the tag runs past its reach.
std::size_t referencePlainTagEnd(std::string_view text) {
  char quote = '\0';
  for (std::size_t pos = 0; pos < std::min(text.size(), kPlainTagReach);
       ++pos) {
    const char byte = text[pos];
    if (byte == '\n' || byte == '\0') return text.size();
    if (quote != '\0') {
      if (byte == quote) quote = '\0';
    } else if (byte == '"' || byte == '\'') {
      quote = byte;
    } else if (byte == '>') {
      return pos;
    }
  }
  return text.size();
}

TEST(ByteScan, PlainTagEndMatchesTheByteByByteRule) {
  std::mt19937 random(20261209);
  // Quotes of one kind take the block path, both kinds the portable one;
  // long runs of letters reach past one block, and with no ">" past the
  // reach.
  using namespace std::string_view_literals;
  constexpr std::string_view kAlphabets[] = {
      "aaaa>\"\n"sv, "aaaa>'\n"sv, "aa>\"'\n"sv, "aaaaaaaaaaaaaaaaa\"\0>"sv,
      "aaaaaaa\""sv};
  for (int round = 0; round < 40000; ++round) {
    const std::string_view alphabet = kAlphabets[round % std::size(kAlphabets)];
    std::string text = "<";
    text += randomText(random, alphabet, 320);
    const std::size_t expected = referencePlainTagEnd(text);
    ASSERT_EQ(findPlainTagEndPortable(text.data(), 0, text.size()), expected)
        << text;
    ASSERT_EQ(findPlainTagEnd(text.data(), 0, text.size()), expected) << text;
  }
}

TEST(ByteScan, FindsANulAnywhere) {
  for (std::size_t at = 0; at < 70; ++at) {
    std::string text(70, 'a');
    text[at] = '\0';
    for (const auto examine : kExamineWays) {
      EXPECT_TRUE(examine(text.data(), text.size()).hasNul) << at;
    }
  }
}

TEST(ByteScan, TagLookupIsTheSameWhateverFollowsTheName) {
  // Long views take the 16-byte path, short ones the byte path.
  for (const char* name :
       {"table", "TR", "thead", "xsl:if", "xsl:iffy", "XSL:TEMPLATE",
        "xsl:import", "frame", "frameset", "b", "body", "tabl", "",
        "xsl:stylesheet", "Xsl:Stylesheeu", "\xC3\xA9t"}) {
    const std::string shortName = name;
    std::string longName = shortName;
    longName.append(20, '>');
    EXPECT_EQ(findTagRule(shortName), findTagRule(longName)) << name;
  }
}

}  // namespace
}  // namespace tagfmt
