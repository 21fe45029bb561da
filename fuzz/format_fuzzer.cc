// libFuzzer target for the reformatting pass: besides running clean under
// the sanitizers, its output and its messages must keep the properties below.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "format/decision.h"
#include "format/format.h"
#include "fuzz/require.h"
#include "report/tagfmt_wording.h"
#include "tests/text_properties.h"

namespace {

using tagfmt::Formatted;
using tagfmt::formatText;
using tagfmt::kTagRules;
using tagfmt::RunOptions;
using tagfmt::Verdict;

using tagfmt::fuzz::require;

bool isLayoutByte(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' ||
         c == '\n';
}

std::string withoutLayout(std::string_view text) {
  std::string kept;
  for (const char c : text) {
    if (!isLayoutByte(c)) kept += c;
  }
  return kept;
}

// Drops every "<!--@N@-->" the pass wrote.
std::string withoutMarkers(std::string_view text) {
  std::string kept;
  std::size_t pos = 0;
  for (std::size_t at; (at = text.find("<!--@", pos)) != std::string::npos;) {
    std::size_t end = at + 5;
    while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
    require(end > at + 5 && text.substr(end, 4) == "@-->",
            "every \"<!--@\" in the output is a whole marker");
    kept.append(text.substr(pos, at - pos));
    pos = end + 4;
  }
  kept.append(text.substr(pos));
  return kept;
}

// Lines in `text`: one more than its line breaks (CR LF, LF or a lone CR).
std::uint64_t lineCount(std::string_view text) {
  std::uint64_t lines = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' ||
        (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
      ++lines;
    }
  }
  return lines;
}

// Reads a message line from left to right.
struct Cursor {
  std::string_view rest;
  bool ok = true;

  void literal(std::string_view word) {
    if (ok && rest.starts_with(word)) {
      rest.remove_prefix(word.size());
    } else {
      ok = false;
    }
  }
  std::uint64_t number() {
    std::uint64_t value = 0;
    std::size_t digits = 0;
    while (ok && digits < rest.size() && rest[digits] >= '0' &&
           rest[digits] <= '9' && digits < 19) {
      value = value * 10 + static_cast<std::uint64_t>(rest[digits] - '0');
      ++digits;
    }
    if (digits == 0) ok = false;
    rest.remove_prefix(digits);
    return value;
  }
  std::string_view tagName() {
    for (const auto& rule : kTagRules) {
      if (ok && rest.starts_with(rule.name) &&
          rest.substr(rule.name.size()).starts_with(">")) {
        rest.remove_prefix(rule.name.size());
        return rule.name;
      }
    }
    ok = false;
    return {};
  }
};

// One of the three nesting-fault forms, with line numbers in the file.
bool isNestingMessage(std::string_view line, std::uint64_t lines) {
  Cursor missing{line};
  missing.literal("-> Nesting Error: missing </");
  const std::string_view name = missing.tagName();
  missing.literal("> ( <");
  missing.literal(name);
  missing.literal("> on line ");
  const std::uint64_t openLine = missing.number();
  missing.literal(")");
  if (missing.ok) {
    return missing.rest.empty() && openLine >= 1 && openLine <= lines;
  }
  Cursor closing{line};
  closing.literal("-> Nesting Error Line ");
  const std::uint64_t at = closing.number();
  closing.literal(": ");
  if (!closing.ok || at < 1 || at > lines) return false;
  Cursor unexpected = closing;
  unexpected.literal("unexpected </");
  unexpected.tagName();
  unexpected.literal(">");
  if (unexpected.ok) return unexpected.rest.empty();
  closing.literal("</");
  const std::string_view got = closing.tagName();
  closing.literal("> instead of </");
  const std::string_view expected = closing.tagName();
  closing.literal("> ( <");
  closing.literal(expected);
  closing.literal("> on line ");
  const std::uint64_t openLine2 = closing.number();
  closing.literal(")");
  return closing.ok && closing.rest.empty() && got != expected &&
         openLine2 >= 1 && openLine2 <= at;
}

void checkMessages(std::string_view said, std::string_view text) {
  if (said.empty()) return;
  require(said.starts_with("f\n"), "messages follow the name line");
  said.remove_prefix(2);
  const std::uint64_t lines = lineCount(text);
  while (!said.empty()) {
    const std::size_t end = said.find('\n');
    require(end != std::string_view::npos, "every message ends in LF");
    require(isNestingMessage(said.substr(0, end), lines),
            "a nesting message of a known form and line range");
    said.remove_prefix(end + 1);
  }
}

}  // namespace

// The byte 0x01 in an input stands for a region's "off" comment and 0x02 for
// its "on" comment, so that the fuzzer finds regions quickly.
std::string withDirectives(std::string_view text) {
  std::string expanded;
  for (const char c : text) {
    if (c == '\x01') {
      expanded += tagfmt::kRegionOff;
    } else if (c == '\x02') {
      expanded += tagfmt::kRegionOn;
    } else {
      expanded += c;
    }
  }
  return expanded;
}

// Regions change what is written, never what is counted: the faults and
// the numbering are those of the text without its directives.
void checkRegions(std::string_view raw, std::string_view text,
                  const RunOptions& options) {
  std::string plain;
  std::vector<std::size_t> inserted;  // where directives stand in `plain`
  for (const char c : raw) {
    if (c != '\x01' && c != '\x02') {
      plain += c;
    } else {
      inserted.push_back(plain.size());
    }
  }
  if (inserted.empty()) return;
  for (const std::size_t at : inserted) {
    // Between a CR and its LF, a directive splits one line end in two.
    if (at > 0 && at < plain.size() && plain[at - 1] == '\r' &&
        plain[at] == '\n') {
      return;
    }
  }
  // A directive counts only where the pass meets it as a comment; one put
  // inside another construct changes that construct.
  for (const auto& span : tagfmt::testing::constructSpans(plain)) {
    for (const std::size_t at : inserted) {
      if (at > span.start && at < span.end) return;
    }
  }
  std::int64_t withSeq = 0, withoutSeq = 0;
  tagfmt::NestingFaults with, without;
  std::string work;
  formatText(text, work, options, withSeq, with);
  formatText(plain, work, options, withoutSeq, without);
  // The directives move the faults' offsets, and nothing else of them.
  const auto sameBarOffsets = [](const tagfmt::NestingFault& a,
                                 const tagfmt::NestingFault& b) {
    return a.kind == b.kind && a.closeRule == b.closeRule &&
           a.openRule == b.openRule && a.line == b.line &&
           a.openLine == b.openLine;
  };
  require(withSeq == withoutSeq &&
              std::equal(with.begin(), with.end(), without.begin(),
                         without.end(), sameBarOffsets),
          "directives change neither faults nor numbering");
}

// What a run writes is settled, and keeps the input's words. Prints each
// new most passes a text needed, for the fuzz run's summary.
void checkDecision(std::string_view text, const RunOptions& options,
                   std::int64_t firstSeq) {
  static int mostPasses = 1;
  const tagfmt::TextDecision first = decideText(text, options, firstSeq);
  if (first.outcome != tagfmt::TextOutcome::kChanged) return;
  if (first.passes > mostPasses) {
    mostPasses = first.passes;
    std::fprintf(stderr, "most passes to settle: %d\n", mostPasses);
  }
  require(first.passes <= 8, "a text settles within 8 passes");
  const tagfmt::TextDecision again =
      decideText(first.tidied, options, firstSeq);
  require(again.outcome == tagfmt::TextOutcome::kTidy,
          "a tidied text is tidy: a second run changes nothing");
  require(tagfmt::testing::sameWords(text, first.tidied),
          "tidying keeps every word");
}

// The first byte picks the mode and where the run's numbering starts; the
// rest is the file's text.
// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  RunOptions options;
  options.markerMode = (data[0] & 1) != 0;
  const std::int64_t firstSeq = static_cast<std::int64_t>(data[0] >> 1) * 1000;
  const std::string input = withDirectives(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1));
  std::string_view text = input;
  checkDecision(text, options, firstSeq);
  checkRegions(
      std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1), text,
      options);

  std::int64_t openSeq = firstSeq;
  std::string work;
  tagfmt::NestingFaults faults;
  const Formatted formatted = formatText(text, work, options, openSeq, faults);
  std::string said = faults.empty() ? "" : "f\n";
  for (const tagfmt::NestingFault& fault : faults)
    said += tagfmt::nestingMessage(fault);
  const Verdict verdict = formatted.verdict;
  const std::string_view out = formatted.text;

  // The pass sees the text up to its first NUL.
  if (const void* nul = std::memchr(text.data(), '\0', text.size())) {
    text = text.substr(0, static_cast<std::size_t>(
                              static_cast<const char*>(nul) - text.data()));
  }
  require(openSeq >= firstSeq, "the numbering never goes back");
  require(verdict != Verdict::kTooLarge, "small input fits the bound");
  require((verdict == Verdict::kFailed) == !said.empty(),
          "faults are reported exactly when the verdict is failed");
  checkMessages(said, text);
  if (verdict != Verdict::kSound) return 0;

  // Without old markers in the input, only layout and new markers differ.
  if (text.find("<!--@") == std::string_view::npos) {
    const std::string output =
        options.markerMode ? withoutMarkers(out) : std::string(out);
    if (!options.markerMode) {
      require(out.find("<!--@") == std::string_view::npos,
              "no markers are written with marker mode off");
    }
    require(withoutLayout(output) == withoutLayout(text),
            "the output differs from the input only in layout and markers");
  }

  // Formatting is deterministic: the same input gives the same output.
  std::int64_t again = firstSeq;
  std::string secondWork;
  tagfmt::NestingFaults ignored;
  const Formatted second =
      formatText(text, secondWork, options, again, ignored);
  require(second.text == out && again == openSeq, "formatting is repeatable");
  return 0;
}
