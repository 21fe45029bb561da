// The page generator: elements, their content and the layout around them,
// each picked from the choices.
#include "tests/page_generator.h"

#include <array>
#include <string_view>

#include "format/format.h"

namespace tagfmt::testing {

namespace {

constexpr int kMaxDepth = 8;

// Names no rule takes, and names a rule takes by their beginning.
constexpr std::array<std::string_view, 10> kOtherNames = {
    "p",     "br",     "span", "tbody", "li",
    "thead", "header", "area", "frame", "xsl:value-of"};

constexpr std::array<std::string_view, 4> kLineBreaks = {"\n", "\r\n", "\r",
                                                         "\n\r"};
constexpr std::array<std::string_view, 6> kBlanks = {" ",  "  ", "\t",
                                                     "\v", "\f", "    "};
constexpr std::array<std::string_view, 8> kTexts = {
    "x", "}", "word and words", "&amp;", "a>b", "\xc3\xa9t\xc3\xa9", "'", "\""};
constexpr std::array<std::string_view, 5> kMarkers = {
    "<!--@1@-->", "<!--@12@-->", "<!--@345@-->", "<!--@6789@-->",
    "<!--@@ not a marker -->"};
constexpr std::array<std::string_view, 4> kComments = {
    "<!-- note -->", "<!---->", "<?php echo 1; ?>", "<br/>"};

// Mixes upper and lower case as the choices say.
std::string spelled(std::string_view name, Choices& choices) {
  std::string out(name);
  const unsigned style = choices.pick(3);
  for (char& c : out) {
    if (style == 1 || (style == 2 && choices.pick(2) == 1)) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

void lineBreaks(Choices& choices, std::string& out) {
  const unsigned count = 1 + choices.pick(3);
  for (unsigned i = 0; i < count; ++i) {
    out += kLineBreaks[choices.pick(kLineBreaks.size())];
    if (choices.pick(2) == 1) out += kBlanks[choices.pick(kBlanks.size())];
  }
}

void content(Choices& choices, int depth, std::string& out);

void element(Choices& choices, int depth, std::string& out) {
  const bool recognised = choices.pick(3) != 0;
  const std::string_view base =
      recognised ? kTagRules[choices.pick(kTagRules.size())].name
                 : kOtherNames[choices.pick(kOtherNames.size())];
  const std::string name = spelled(base, choices);
  out += "<" + name;
  if (choices.pick(3) == 0) out += " class=\"a>b\"";
  out += ">";
  content(choices, depth + 1, out);
  out += "</" + name + ">";
}

// One piece of an element's content.
void piece(Choices& choices, int depth, std::string& out) {
  switch (choices.pick(9)) {
    case 0:
    case 1:
      if (depth < kMaxDepth) {
        element(choices, depth, out);
        break;
      }
      [[fallthrough]];
    case 2:
      out += kTexts[choices.pick(kTexts.size())];
      break;
    case 3:
    case 4:
      lineBreaks(choices, out);
      break;
    case 5:
      out += kBlanks[choices.pick(kBlanks.size())];
      break;
    case 6:
      out += kMarkers[choices.pick(kMarkers.size())];
      break;
    case 7:
      out += kComments[choices.pick(kComments.size())];
      break;
    default:
      out += kRegionOff;
      content(choices, depth, out);
      out += kRegionOn;
      break;
  }
}

void content(Choices& choices, int depth, std::string& out) {
  const unsigned count = choices.pick(5);
  for (unsigned i = 0; i < count && !choices.done(); ++i) {
    piece(choices, depth, out);
  }
}

}  // namespace

std::string generatePage(Choices& choices) {
  std::string page;
  if (choices.pick(4) == 0) page += "<?xml version=\"1.0\"?>\n";
  do {
    piece(choices, 0, page);
  } while (!choices.done());
  return page;
}

}  // namespace tagfmt::testing
