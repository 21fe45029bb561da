// tagfmt-check against tagfmt itself on the real pages beside the project:
// the same files named, the same fault lines, the same bytes by --diff and
// --stdout, the tree left alone, and a note for each refusal of the kinds
// it explains.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "format/decision.h"
#include "format/format.h"
#include "report/json.h"
#include "tests/reference_pass.h"
#include "tests/test_util.h"

namespace tagfmt::testing {
namespace {

namespace fs = std::filesystem;

using Tree = std::map<std::string, std::string>;

Tree readTree(const fs::path& dir) {
  Tree tree;
  for (const auto& entry : fs::directory_iterator(dir)) {
    tree[entry.path().filename().string()] = readFile(entry.path().string());
  }
  return tree;
}

// The corpus under names that sort as they are numbered, extension kept.
std::vector<std::string> copyCorpus(const fs::path& to) {
  std::vector<std::string> names;
  fs::create_directories(to);
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(corpusDir())) {
    const std::string extension = entry.path().extension().string();
    if (entry.is_regular_file() && extension != ".md" && extension != ".tsv") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  for (const fs::path& file : files) {
    char number[8];
    std::snprintf(number, sizeof number, "%04zu", names.size());
    names.push_back(number + file.extension().string());
    fs::copy_file(file, to / names.back());
  }
  return names;
}

// tagfmt's report, in tagfmt-check's words: names it rewrote and the
// "NAME:LINE: nesting error: TEXT" lines.
struct Said {
  std::set<std::string> rewritten;
  std::vector<std::string> faults;
};

Said tagfmtSaid(const std::string& output) {
  static const std::regex mismatch(
      R"(-> Nesting Error Line (\d+): (.*) \( <(\w[\w:]*)> on line (\d+)\))");
  static const std::regex unexpected(R"(-> Nesting Error Line (\d+): (.*))");
  static const std::regex missing(
      R"(-> Nesting Error: missing (</[\w:]+>) \( <[\w:]+> on line (\d+)\))");
  Said said;
  std::istringstream lines(output);
  std::string name;
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (line.starts_with("   writing ")) {
      const std::string written = line.substr(11);
      if (!written.ends_with(".bak")) said.rewritten.insert(written);
    } else if (std::regex_match(line, m, mismatch)) {
      said.faults.push_back(name + ":" + m[1].str() +
                            ": nesting error: " + m[2].str() + " (<" +
                            m[3].str() + "> on line " + m[4].str() + ")");
    } else if (std::regex_match(line, m, missing)) {
      said.faults.push_back(name + ":" + m[2].str() +
                            ": nesting error: missing " + m[1].str());
    } else if (std::regex_match(line, m, unexpected)) {
      said.faults.push_back(name + ":" + m[1].str() +
                            ": nesting error: " + m[2].str());
    } else if (!line.starts_with("->")) {
      name = line;
    }
  }
  return said;
}

// tagfmt-check's lines with the column taken out, for tagfmt has none;
// the fault lines as they are go to `placed`.
Said checkSaid(const std::string& output, std::vector<std::string>& placed) {
  static const std::regex column(R"(^([^:]+:\d+):\d+: )");
  Said said;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (line.ends_with(": would be tidied")) {
      said.rewritten.insert(line.substr(0, line.size() - 17));
    } else if (line.find(": nesting error: ") != std::string::npos) {
      placed.push_back(line);
      said.faults.push_back(std::regex_replace(line, column, "$1: "));
    }
  }
  return said;
}

// The byte offset of line `line` (from 1) and column `column` (bytes from
// 1) in `text`, whose lines end at CR LF, LF or a lone CR; npos past it.
std::size_t offsetOf(std::string_view text, std::size_t line,
                     std::size_t column) {
  std::size_t at = 0;
  for (std::size_t seen = 1; seen < line && at < text.size(); ++at) {
    if (text[at] == '\n' ||
        (text[at] == '\r' && (at + 1 == text.size() || text[at + 1] != '\n'))) {
      ++seen;
    }
  }
  return at + column - 1 < text.size() ? at + column - 1 : std::string::npos;
}

// Each fault's line and column stand at the "<" of the tag it names,
// found here by plain counting, apart from the engine.
void expectColumnsAtTheirTags(const fs::path& dir,
                              const std::vector<std::string>& placed) {
  static const std::regex faultLine(
      R"(([^:]+):(\d+):(\d+): nesting error: (unexpected |missing )?<(/?[\w:]+)>.*)");
  std::smatch m;
  for (const std::string& fault : placed) {
    ASSERT_TRUE(std::regex_match(fault, m, faultLine)) << fault;
    const std::string text = readFile((dir / m[1].str()).string());
    const std::size_t at =
        offsetOf(text, std::stoul(m[2].str()), std::stoul(m[3].str()));
    // "missing </x>" points at its opening tag, "<x".
    std::string tag = "<";
    tag += m[5].str();
    if (m[4].str() == "missing ") tag.erase(1, 1);
    ASSERT_NE(at, std::string::npos) << fault;
    std::string found = text.substr(at, tag.size());
    std::transform(found.begin(), found.end(), found.begin(),
                   [](unsigned char c) { return std::tolower(c); });
    EXPECT_EQ(found, tag) << fault;
  }
}

const char* const kNoteKinds[] = {
    "is written self-closed", "names match by their beginning",
    "the declaration on line", "opens a quote inside the comment"};

// For each note kind, the files that got such a note.
std::map<std::string, std::set<std::string>> notesByKind(
    const std::string& output) {
  std::map<std::string, std::set<std::string>> files;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    for (const char* kind : kNoteKinds) {
      if (line.find(": note: ") != std::string::npos &&
          line.find(kind) != std::string::npos) {
        files[kind].insert(line.substr(0, line.find(':')));
      }
    }
  }
  return files;
}

// The files in which a fault's line holds a recognised tag written
// self-closed, or one whose name only begins with a rule's: found here by
// plain pattern, apart from the engine.
std::map<std::string, std::set<std::string>> causesOnFaultLines(
    const fs::path& dir, const std::vector<std::string>& faults) {
  static const std::regex faultLine(R"(([^:]+):(\d+): nesting error: (.*))");
  static const std::regex onLine(R"(on line (\d+)\))");
  std::string names = "(";
  for (const TagRule& rule : kTagRules) {
    names.append(rule.name);
    names.push_back('|');
  }
  names.back() = ')';
  const std::regex selfClosed(
      std::string("<").append(names).append("[^<>/]*/>"), std::regex::icase);
  const std::regex prefixed(
      std::string("</?").append(names).append("[a-z0-9:_.-]"),
      std::regex::icase);
  std::map<std::string, std::set<std::string>> files;
  std::smatch m;
  for (const std::string& fault : faults) {
    if (!std::regex_match(fault, m, faultLine)) continue;
    const std::string file = m[1].str();
    std::vector<std::size_t> lines = {std::stoul(m[2].str())};
    const std::string text = m[3].str();
    if (std::regex_search(text, m, onLine)) lines.push_back(std::stoul(m[1]));
    std::istringstream in(readFile((dir / file).string()));
    std::size_t number = 0;
    for (std::string line; std::getline(in, line);) {
      if (std::find(lines.begin(), lines.end(), ++number) == lines.end()) {
        continue;
      }
      if (std::regex_search(line, selfClosed)) {
        files[kNoteKinds[0]].insert(file);
      }
      if (std::regex_search(line, prefixed)) files[kNoteKinds[1]].insert(file);
    }
  }
  return files;
}

ProgramRun runOn(const fs::path& dir, const std::vector<std::string>& words,
                 std::string_view input = {}) {
  return runProgram("/usr/bin/env", dir, words, input);
}

TEST(CheckCorpus, AgreesWithTagfmt) {
  if (corpusDir().empty()) {
    GTEST_SKIP() << "no ../shared/corpus beside the project";
  }
  ScratchDir dir;
  const std::vector<std::string> names = copyCorpus(dir.path() / "checked");
  fs::copy(dir.path() / "checked", dir.path() / "tidied");
  fs::copy(dir.path() / "checked", dir.path() / "applied");
  fs::copy(dir.path() / "checked", dir.path() / "patched");
  const Tree before = readTree(dir.path() / "checked");

  const ProgramRun check =
      runProgram(TAGFMT_CHECK_BINARY, dir.path() / "checked", {"-j", "2", "."});
  const ProgramRun diff =
      runProgram(TAGFMT_CHECK_BINARY, dir.path() / "checked", {"--diff", "."});
  EXPECT_EQ(check.status, 2);
  EXPECT_EQ(diff.status, 2);
  EXPECT_TRUE(readTree(dir.path() / "checked") == before)
      << "tagfmt-check changed the tree";

  const std::string tagfmtOutput = runTool(dir.path() / "tidied", names);
  const Said tagfmt = tagfmtSaid(tagfmtOutput);
  std::vector<std::string> placed;
  const Said checked = checkSaid(check.out, placed);
  EXPECT_TRUE(checked.rewritten == tagfmt.rewritten);
  EXPECT_EQ(checked.faults, tagfmt.faults);
  expectColumnsAtTheirTags(dir.path() / "checked", placed);

  const Tree tidied = readTree(dir.path() / "tidied");
  const ProgramRun git =
      runOn(dir.path() / "applied", {"git", "apply", "-"}, diff.out);
  const ProgramRun patch =
      runOn(dir.path() / "patched", {"patch", "-p1", "--binary", "--quiet"},
            diff.out);
  for (const auto& [tool, run, folder] :
       {std::tuple{"git apply", git, "applied"},
        std::tuple{"patch", patch, "patched"}}) {
    if (run.status == 127) {
      std::cout << "skipping " << tool << ": not installed\n";
      continue;
    }
    EXPECT_EQ(run.status, 0) << tool << ": " << run.err;
    const Tree applied = readTree(dir.path() / folder);
    for (const std::string& name : names) {
      EXPECT_TRUE(applied.at(name) == tidied.at(name)) << tool << " " << name;
    }
  }

  for (const std::string& name : names) {
    const ProgramRun run = runProgram(
        TAGFMT_CHECK_BINARY, dir.path() / "checked", {"--stdout", name});
    const bool refused = run.status == 2;
    EXPECT_EQ(refused, run.out.empty()) << name;
    if (!refused) {
      EXPECT_TRUE(run.out == tidied.at(name)) << name;
    }
  }

  std::map<std::string, std::set<std::string>> kinds = notesByKind(check.out);
  std::set<std::string> refused;
  for (const std::string& fault : tagfmt.faults) {
    refused.insert(fault.substr(0, fault.find(':')));
  }
  for (auto& [kind, files] :
       causesOnFaultLines(dir.path() / "checked", tagfmt.faults)) {
    for (const std::string& file : files) {
      EXPECT_EQ(kinds[kind].count(file), 1u)
          << file << " has no note \"" << kind << "\"";
    }
  }
  std::cout << names.size() << " files: " << tagfmt.rewritten.size()
            << " would be tidied, " << refused.size() << " refused\n";
  for (const char* kind : kNoteKinds) {
    std::size_t ofRefused = 0;
    for (const std::string& file : kinds[kind]) {
      ofRefused += refused.count(file);
    }
    std::cout << "note \"" << kind << "\": " << kinds[kind].size() << " files, "
              << ofRefused << " of them refused\n";
  }
}

// The JSON document, parsed, and the GitHub lines say file for file what
// the plain lines say, on the whole corpus, read where it lies.
TEST(CheckCorpus, JsonAndGithubSayWhatThePlainLinesSay) {
  if (corpusDir().empty()) GTEST_SKIP() << corpusMissing();
  const ProgramRun plain = runProgram(TAGFMT_CHECK_BINARY, corpusDir(), {"."});
  const ProgramRun json =
      runProgram(TAGFMT_CHECK_BINARY, corpusDir(), {"--format", "json", "."});
  const ProgramRun github =
      runProgram(TAGFMT_CHECK_BINARY, corpusDir(), {"--format=github", "."});
  ASSERT_TRUE(Json::accept(json.out)) << json.out.substr(0, 200);
  EXPECT_EQ(json.status, plain.status);
  EXPECT_EQ(json.err, "");
  const Json document = Json::parse(json.out);
  std::string lines;
  std::size_t errors = 0;
  for (const Json& file : document["files"]) {
    const std::string path = file["path"];
    if (file["state"] == "would-tidy") {
      lines += path + ": would be tidied\n";
      ++errors;
    }
    if (file.contains("reason")) {
      lines += path + ": " + file["reason"].get<std::string>() + "\n";
      ++errors;
    }
    const auto notesOn = [&](const Json& fault) {
      for (const Json& note : file["notes"]) {
        if (note["fault"] != fault) continue;
        lines += path + ":" + std::to_string(note["line"].get<int>()) + ":" +
                 std::to_string(note["column"].get<int>()) +
                 ": note: " + note["message"].get<std::string>() + "\n";
      }
    };
    for (std::size_t i = 0; i < file["faults"].size(); ++i) {
      const Json& fault = file["faults"][i];
      lines += path + ":" + std::to_string(fault["line"].get<int>()) + ":" +
               std::to_string(fault["column"].get<int>()) +
               ": nesting error: " + fault["message"].get<std::string>() + "\n";
      ++errors;
      notesOn(Json(i));
    }
    notesOn(Json());
  }
  EXPECT_TRUE(lines == plain.out) << "JSON and plain lines differ";
  const Json& summary = document["summary"];
  EXPECT_EQ(plain.err,
            std::to_string(summary["changed"].get<int>()) +
                " files would be tidied, " +
                std::to_string(summary["refused"].get<int>()) + " refused, " +
                std::to_string(summary["tidy"].get<int>()) + " tidy\n");
  static const std::regex githubFault(
      R"(::error file=(.*),line=(\d+),col=(\d+)::(nesting error: .*))");
  std::string githubFaults;
  std::string plainFaults;
  std::size_t githubErrors = 0;
  std::smatch m;
  for (const std::string& line : splitLines(github.out)) {
    githubErrors += line.starts_with("::error file=") ? 1 : 0;
    if (std::regex_match(line, m, githubFault)) {
      githubFaults += m[1].str() + ":" + m[2].str() + ":" + m[3].str() + ": " +
                      m[4].str() + "\n";
    }
  }
  for (const std::string& line : splitLines(plain.out)) {
    if (line.find(": nesting error: ") != std::string::npos) {
      plainFaults += line + "\n";
    }
  }
  EXPECT_EQ(githubErrors, errors);
  EXPECT_TRUE(githubFaults == plainFaults) << "GitHub and plain faults differ";
  EXPECT_GT(errors, 100u);
}

// --fix over a copy of the corpus: every page that nested still nests, keeps
// its content, is settled, and is what the plain reference makes of it.
TEST(CheckCorpus, FixKeepsEveryPagesContent) {
  if (corpusDir().empty()) GTEST_SKIP() << corpusMissing();
  ScratchDir dir;
  const std::vector<std::string> names = copyCorpus(dir.path() / "fixed");
  const Tree before = readTree(dir.path() / "fixed");
  const ProgramRun fix =
      runProgram(TAGFMT_CHECK_BINARY, dir.path() / "fixed", {"--fix", "."});
  EXPECT_EQ(fix.out.find("internal error"), std::string::npos) << fix.out;
  const Tree after = readTree(dir.path() / "fixed");
  std::size_t rewritten = 0;
  for (const std::string& name : names) {
    const std::string& old = before.at(name);
    const std::string& now = after.at(name);
    const reference::Result want = reference::decide(old, RunOptions{}, 0);
    if (want.outcome == TextOutcome::kChanged) {
      EXPECT_TRUE(now == want.tidied) << name << " is not the reference's";
      EXPECT_TRUE(keepsContent(old, now)) << name << " lost content";
      EXPECT_EQ(decideText(now, RunOptions{}, 0).outcome, TextOutcome::kTidy)
          << name << " is not settled or no longer sound";
      ++rewritten;
    } else {
      EXPECT_TRUE(now == old) << name << " changed";
    }
  }
  std::cout << rewritten << " of " << names.size()
            << " files rewritten, each as the reference makes it\n";
}

}  // namespace
}  // namespace tagfmt::testing
