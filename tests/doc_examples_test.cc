// The before/after examples in docs/changes.md, tagfmt.1 and README.md,
// made again by the built tool in a scratch folder and compared with what
// the documents say.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

// One run of the tool and what its block shows: the text of the file
// `shows` afterwards, or, when `shows` is empty, the command line and what
// the tool printed. A step without arguments runs nothing and only shows.
struct ExampleStep {
  std::vector<std::string> arguments;
  std::string shows;
};

// The first block after an example's marker is `file` before the runs; each
// later block shows one step. `folders` are made before the file.
struct DocExample {
  std::string id;
  std::string file;
  std::vector<std::string> folders;
  std::vector<ExampleStep> steps;
  bool readmeOnly = false;  // README's own before and after
};

const std::vector<DocExample>& docExamples() {
  static const std::vector<DocExample> kExamples = {
      {"before-after",
       "orders.htm",
       {},
       {{{"orders.htm"}, ""}, {{}, "orders.htm"}},
       true},
      {"join-text", "page.htm", {}, {{{"page.htm"}, "page.htm"}}},
      {"join-pre", "page.htm", {}, {{{"page.htm"}, "page.htm"}}},
      {"indent-xsl-text", "page.xsl", {}, {{{"page.xsl"}, "page.xsl"}}},
      {"keep-in-cell", "page.htm", {}, {{{"page.htm"}, "page.htm"}}},
      {"second-run",
       "page.htm",
       {},
       {{{"page.htm"}, "page.htm"}, {{"page.htm"}, ""}}},
      {"run-on-doctype",
       "page.htm",
       {},
       {{{"page.htm"}, ""}, {{}, "page.htm"}}},
      {"doctype-ended", "page.htm", {}, {{{"page.htm"}, "page.htm"}}},
      {"run-on-apostrophe",
       "page.htm",
       {},
       {{{"page.htm"}, ""}, {{}, "page.htm"}}},
      {"self-closed", "page.htm", {}, {{{"page.htm"}, ""}}},
      {"final-line-end", "page.htm", {}, {{{"page.htm"}, ""}}},
      {"glob-backups",
       "html/page.htm",
       {"html"},
       {{{"html/*"}, ""}, {{"html/*"}, ""}}},
      {"failed-no-writing", "page.htm", {"page.bak"}, {{{"page.htm"}, ""}}},
  };
  return kExamples;
}

std::string joinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// A document's examples: the code blocks after each marker, by example id.
using ExampleBlocks = std::map<std::string, std::vector<std::string>>;

// Markdown: "<!-- example: ID -->", then fenced blocks up to the next
// marker or heading.
ExampleBlocks readmeBlocks(const std::string& text) {
  ExampleBlocks found;
  std::vector<std::string>* blocks = nullptr;
  std::vector<std::string> block;
  bool inBlock = false;
  for (const std::string& line : splitLines(text)) {
    if (inBlock) {
      if (line.starts_with("```")) {
        blocks->push_back(joinLines(block));
        inBlock = false;
      } else {
        block.push_back(line);
      }
    } else if (line.starts_with("<!-- example: ")) {
      const std::string id = line.substr(14, line.find(" -->") - 14);
      blocks = &found[id];
    } else if (line.starts_with("#")) {
      blocks = nullptr;
    } else if (blocks != nullptr && line.starts_with("```")) {
      inBlock = true;
      block.clear();
    }
  }
  return found;
}

// The characters a line of an .EX block stands for.
std::string unescapeRoff(const std::string& line) {
  static const std::vector<std::pair<std::string, std::string>> kEscapes = {
      {"\\&", ""},
      {"\\-", "-"},
      {"\\e", "\\"},
      {"\\(aq", "'"},
      {"\\(dq", "\""}};
  std::string text;
  for (std::size_t i = 0; i < line.size();) {
    const auto escape =
        std::find_if(kEscapes.begin(), kEscapes.end(), [&](const auto& e) {
          return line.compare(i, e.first.size(), e.first) == 0;
        });
    if (escape == kEscapes.end()) {
      text += line[i++];
    } else {
      text += escape->second;
      i += escape->first.size();
    }
  }
  return text;
}

// The same text as it must be written in an .EX block.
std::string escapeRoff(const std::string& text) {
  std::string roff;
  for (const std::string& line : splitLines(text)) {
    if (line.starts_with(".") || line.starts_with("'")) roff += "\\&";
    for (char c : line) {
      roff += c == '-' ? "\\-" : c == '\\' ? "\\e" : std::string(1, c);
    }
    roff += '\n';
  }
  return roff;
}

// man(7): '.\" example: ID', then .EX/.EE blocks up to the next marker or
// section.
ExampleBlocks manPageBlocks(const std::string& text) {
  ExampleBlocks found;
  std::vector<std::string>* blocks = nullptr;
  std::vector<std::string> block;
  bool inBlock = false;
  for (const std::string& line : splitLines(text)) {
    if (inBlock) {
      if (line == ".EE") {
        blocks->push_back(joinLines(block));
        inBlock = false;
      } else {
        block.push_back(unescapeRoff(line));
      }
    } else if (line.starts_with(".\\\" example: ")) {
      blocks = &found[line.substr(13)];
    } else if (line.starts_with(".SH") || line.starts_with(".SS")) {
      blocks = nullptr;
    } else if (blocks != nullptr && line == ".EX") {
      inBlock = true;
      block.clear();
    }
  }
  return found;
}

// A file's text as a block shows it: its lines, each ended by one line
// break, whether the file ends with a CR LF, LF, lone CR or nothing.
std::string shownText(const std::string& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r') {
      text += '\n';
      if (i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      text += bytes[i];
    }
  }
  if (!text.ends_with('\n')) text += '\n';
  return text;
}

// "dir/*" as a shell expands it; other words as they are.
std::vector<std::string> expandWords(const fs::path& directory,
                                     const std::vector<std::string>& words) {
  std::vector<std::string> expanded;
  for (const std::string& word : words) {
    if (!word.ends_with("/*")) {
      expanded.push_back(word);
      continue;
    }
    const std::string folder = word.substr(0, word.size() - 1);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory / folder)) {
      names.push_back(folder + entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    expanded.insert(expanded.end(), names.begin(), names.end());
  }
  return expanded;
}

// The blocks the example must have: its input, then what each step shows.
std::vector<std::string> madeByTheTool(const DocExample& example,
                                       const std::string& input) {
  ScratchDir dir;
  for (const std::string& folder : example.folders) {
    fs::create_directories(dir.path() / folder);
  }
  writeFile(dir / example.file, input);
  std::vector<std::string> blocks = {input};
  for (const ExampleStep& step : example.steps) {
    const std::string said =
        step.arguments.empty()
            ? ""
            : runTool(dir.path(), expandWords(dir.path(), step.arguments));
    if (!step.shows.empty()) {
      blocks.push_back(shownText(readFile(dir / step.shows)));
      continue;
    }
    std::string command = "$ tagfmt";
    for (const std::string& word : step.arguments) command += " " + word;
    blocks.push_back(command + "\n" + said);
  }
  return blocks;
}

// `all`: the document shows every example; else those it has.
void checkDocument(const std::string& name, const ExampleBlocks& found,
                   bool roff, bool all = true) {
  for (const DocExample& example : docExamples()) {
    const auto blocks = found.find(example.id);
    if (blocks == found.end() || blocks->second.empty()) {
      if (all && !example.readmeOnly)
        ADD_FAILURE() << name << " has no example '" << example.id << "'";
      continue;
    }
    const std::vector<std::string> made =
        madeByTheTool(example, blocks->second.front());
    EXPECT_EQ(blocks->second.size(), made.size())
        << name << " example '" << example.id << "': blocks";
    for (std::size_t i = 1; i < made.size() && i < blocks->second.size(); ++i) {
      if (blocks->second[i] == made[i]) continue;
      ADD_FAILURE() << name << " example '" << example.id << "', block "
                    << i + 1 << " should read:\n"
                    << (roff ? escapeRoff(made[i]) : made[i]) << "but reads:\n"
                    << blocks->second[i];
    }
  }
  for (const auto& entry : found) {
    const std::string& id = entry.first;
    const bool known =
        std::any_of(docExamples().begin(), docExamples().end(),
                    [&](const DocExample& e) { return e.id == id; });
    EXPECT_TRUE(known) << name << " has an example '" << id
                       << "' that no test makes";
  }
}

std::string sourceText(const std::string& name) {
  return readFile((fs::path(TAGFMT_SOURCE_DIR) / name).string());
}

TEST(DocExamples, ChangesShowWhatTheToolDoes) {
  checkDocument("docs/changes.md", readmeBlocks(sourceText("docs/changes.md")),
                false);
}

TEST(DocExamples, ReadmeShowsWhatTheToolDoes) {
  checkDocument("README.md", readmeBlocks(sourceText("README.md")), false,
                false);
}

TEST(DocExamples, ManPageShowsWhatTheToolDoes) {
  checkDocument("tagfmt.1", manPageBlocks(sourceText("tagfmt.1")), true);
}

}  // namespace
}  // namespace tagfmt::testing
