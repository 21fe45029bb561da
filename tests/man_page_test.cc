// The manual page against the sources: every message the tool can print is
// documented there, and its tag table is the one the engine uses.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "format/format.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

std::string sourcePath(std::string_view name) {
  return (fs::path(TAGFMT_SOURCE_DIR) / name).string();
}

// One message as the code builds it: literal pieces, with "" standing for
// a computed part (a name or a line number).
using MessageForm = std::vector<std::string>;

// Reads the C++ string literal starting at the quote at `pos`.
std::string readLiteral(const std::string& code, std::size_t& pos) {
  std::string value;
  for (++pos; pos < code.size() && code[pos] != '"'; ++pos) {
    if (code[pos] != '\\') {
      value += code[pos];
      continue;
    }
    const char escaped = code[++pos];
    value += escaped == 'n' ? '\n' : escaped == 'r' ? '\r' : escaped;
  }
  ++pos;
  return value;
}

// The argument of the say() or sayDirect() call whose "(" is at `pos`.
MessageForm readMessageForm(const std::string& code, std::size_t pos) {
  MessageForm form;
  bool literalLast = false;
  int depth = 0;
  for (;;) {
    const char c = code.at(pos);
    if (c == '"') {
      std::string literal = readLiteral(code, pos);
      if (literalLast) {
        form.back() += literal;  // adjacent literals join
      } else {
        form.push_back(std::move(literal));
      }
      literalLast = true;
      continue;
    }
    if (c == '(') ++depth;
    if (c == ')' && --depth == 0) break;
    if (depth == 1 &&
        std::string_view("(+ \n{},").find(c) == std::string_view::npos) {
      if (form.empty() || literalLast) form.emplace_back();
      literalLast = false;
    }
    ++pos;
  }
  // Every message ends its line; a literal that held only that goes.
  if (!form.empty() && form.back().ends_with('\n')) {
    form.back().pop_back();
    if (form.back().empty()) form.pop_back();
  }
  return form;
}

// Every message the tool's sources can print, found by their calls.
std::set<MessageForm> messageFormsInSources() {
  std::set<MessageForm> forms;
  // say() and sayDirect() print a message; message() joins one; the fixed
  // ones are constants named k...Message.
  const std::regex call(R"((\bsay(Direct)?|\bmessage|Message)\()");
  for (const char* folder : {"driver", "format", "report"}) {
    for (const auto& entry : fs::directory_iterator(sourcePath(folder))) {
      const std::string name = entry.path().filename().string();
      if (name.ends_with("_test.cc") || !name.ends_with(".cc")) continue;
      const std::string code = readFile(entry.path().string());
      for (auto it = std::sregex_iterator(code.begin(), code.end(), call);
           it != std::sregex_iterator(); ++it) {
        const auto open =
            static_cast<std::size_t>(it->position() + it->length() - 1);
        const MessageForm form = readMessageForm(code, open);
        // The name line has no literal text of its own.
        const bool hasText = std::any_of(form.begin(), form.end(),
                                         [](auto& p) { return !p.empty(); });
        if (hasText) forms.insert(form);
      }
    }
  }
  return forms;
}

// The words of a macro line, as roff splits them.
std::vector<std::string> macroArguments(const std::string& line) {
  std::vector<std::string> words;
  std::size_t pos = line.find(' ');
  while (pos < line.size()) {
    if (line[pos] == ' ') {
      ++pos;
      continue;
    }
    std::string word;
    if (line[pos] == '"') {
      const std::size_t end = line.find('"', pos + 1);
      word = line.substr(pos + 1, end - pos - 1);
      pos = end == std::string::npos ? end : end + 1;
    } else {
      for (; pos < line.size() && line[pos] != ' '; ++pos) {
        word += line[pos];
        if (line[pos] == '\\' && pos + 1 < line.size()) word += line[++pos];
      }
    }
    words.push_back(word);
  }
  return words;
}

// The text a line of the page shows, with font changes dropped and the
// escapes that stand for characters written as those characters.
std::string shownText(const std::string& line) {
  std::string source = line;
  if (line.starts_with(".") || line.starts_with("'")) {
    const std::string macro = line.substr(1, line.find(' ') - 1);
    // B, I and the like join their words with blanks; BI and the like
    // alternate fonts and join them with nothing.
    static const std::set<std::string> kAlternating = {"BI", "IB", "BR",
                                                       "RB", "IR", "RI"};
    const bool alternating = kAlternating.contains(macro);
    source.clear();
    for (const std::string& word : macroArguments(line)) {
      if (!source.empty() && !alternating) source += ' ';
      source += word;
    }
  }
  std::string text;
  for (std::size_t i = 0; i < source.size(); ++i) {
    if (source[i] != '\\' || i + 1 == source.size()) {
      text += source[i];
      continue;
    }
    const char c = source[++i];
    if (c == 'f') {  // \fB, \f(CW, \f[CR]
      if (source[i + 1] == '(') i += 2;
      if (source[i + 1] == '[') i = source.find(']', i);
      ++i;
    } else if (c == 'e') {
      text += '\\';
    } else if (c == '~') {
      text += ' ';
    } else if (c != '&' && c != '%' && c != '|' && c != '^') {
      text += c;  // \- and "\ " among them
    }
  }
  return text;
}

std::string manPage() { return readFile(sourcePath("tagfmt.1")); }

TEST(ManPage, DocumentsEveryMessageTheToolPrints) {
  const std::set<MessageForm> forms = messageFormsInSources();
  // Five fixed messages, "   writing" and the three nesting faults: fewer
  // means the search above no longer finds the calls.
  ASSERT_GE(forms.size(), 9u);
  // Each message is listed, with its meaning, in the MESSAGES section.
  std::vector<std::string> shown;
  bool inSection = false;
  for (const std::string& line : splitLines(manPage())) {
    if (line.starts_with(".SH")) inSection = line == ".SH MESSAGES";
    if (inSection) shown.push_back(shownText(line));
  }
  ASSERT_FALSE(shown.empty()) << "no MESSAGES section in tagfmt.1";
  for (const MessageForm& form : forms) {
    // A message stands on a line of its own, with a placeholder word for
    // each computed part.
    std::string pattern = "^";
    std::string readable;
    for (const std::string& piece : form) {
      pattern +=
          piece.empty()
              ? std::string("\\S+")
              : std::regex_replace(piece, std::regex(R"([.^$|()\[\]{}*+?\\])"),
                                   R"(\$&)");
      readable += piece.empty() ? "<...>" : piece;
    }
    const std::regex wanted(pattern + "$");
    const bool found =
        std::any_of(shown.begin(), shown.end(), [&](const std::string& line) {
          return std::regex_search(line, wanted);
        });
    EXPECT_TRUE(found) << "not in MESSAGES of tagfmt.1: \"" << readable << "\"";
  }
}

TEST(ManPage, TagTableIsTheEnginesTable) {
  const std::vector<std::string> lines = splitLines(manPage());
  auto row = std::find(lines.begin(), lines.end(),
                       "tag;indent;open break;close break;marker");
  ASSERT_NE(row, lines.end()) << "no tag table in tagfmt.1";
  ++row;
  if (row != lines.end() && *row == "_") ++row;
  const auto yesNo = [](bool flag) { return flag ? "yes" : "no"; };
  for (const TagRule& rule : kTagRules) {
    ASSERT_NE(row, lines.end());
    const std::string expected =
        std::string(rule.name) + ";" + std::to_string(rule.indent) + ";" +
        yesNo(rule.breakBeforeOpen) + ";" + yesNo(rule.breakBeforeClose) + ";" +
        yesNo(rule.numbered);
    EXPECT_EQ(*row, expected);
    ++row;
  }
  ASSERT_NE(row, lines.end());
  EXPECT_EQ(*row, ".TE") << "the page lists more tags than the engine";
}

}  // namespace
}  // namespace tagfmt::testing
