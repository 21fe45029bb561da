// Globs, excludes and the folder walk, with git's ignore rules read from a
// real work tree.
#include "check/file_walk.h"

#include <gtest/gtest.h>

#include "tests/test_util.h"

namespace tagfmt {
namespace {

// True when this build reads git's ignore rules (not on Windows).
bool walkReadsGitIgnore() {
#ifdef TAGFMT_GIT_IGNORE
  return true;
#else
  return false;
#endif
}

TEST(FileWalk, Globs) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"vendor", "vendor", true},
      {"vendor", "vendors", false},
      {"*.min.html", "a.min.html", true},
      {"*.min.html", "a.html", false},
      {"*", "", true},
      {"*", "a/b", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"?.htm", "a.htm", true},
      {"?.htm", "ab.htm", false},
      {"[ab].htm", "b.htm", true},
      {"[!ab].htm", "b.htm", false},
      {"[a-c]x", "cx", true},
      {"[a-c]x", "dx", false},
      {"\\*", "*", true},
      {"\\*", "a", false},
      {"[", "[", true},
      {"[ab", "[ab", true},
      {"[ab", "a", false},
      {"[]a]", "]", true},
      {"[!]]x", "ax", true},
      {"[a-]", "-", true},
      {"[/]", "/", false},
      {"a\\", "a\\", true},
      {"*[0-9]", "page7", true},
      {"a*", "a/b", false},
      {"sub/*.htm", "sub/a.htm", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(globMatches(c.pattern, c.name), c.matches)
        << c.pattern << " " << c.name;
  }
  EXPECT_TRUE(isExcluded({"vendor"}, "lib/vendor/x.htm"));
  EXPECT_TRUE(isExcluded({"lib/*"}, "lib/x.htm"));
  EXPECT_FALSE(isExcluded({"vendor"}, "lib/vendors/x.htm"));
  EXPECT_FALSE(isExcluded({}, "x.htm"));
}

std::vector<std::string> listed(const testing::ScratchDir& dir,
                                const std::vector<std::string>& paths,
                                const WalkOptions& options) {
  std::vector<std::string> names;
  std::vector<std::string> inDir;
  for (const std::string& path : paths) {
    inDir.push_back(path == "-" ? path : dir / path);
  }
  const std::string prefix = dir.path().string() + "/";
  for (const FileToCheck& file : listFiles(inDir, options)) {
    std::string name = file.path.starts_with(prefix)
                           ? file.path.substr(prefix.size())
                           : file.path;
    if (file.kind == WalkEntry::kNothingFound) name += " (nothing)";
    if (file.excluded) name += " (excluded)";
    names.push_back(name);
  }
  return names;
}

TEST(FileWalk, ListsInOrderAndLeavesOut) {
  testing::ScratchDir dir;
  for (const char* name :
       {"site/b.htm", "site/a.HTML", "site/notes.txt", "site/.hidden/x.htm",
        "site/vendor/v.htm", "site/lib/jq.min.html", "site/lib/ok.xsl",
        "empty/readme.txt"}) {
    std::filesystem::create_directories(
        std::filesystem::path(dir / name).parent_path());
    testing::writeFile(dir / name, "<p>");
  }
  WalkOptions plain;
  WalkOptions excluding;
  excluding.excludes = {"vendor", "*.min.html"};
  WalkOptions named;
  named.stdinName = "site/vendor/in.htm";
  named.excludes = {"vendor"};
  const struct {
    std::vector<std::string> paths;
    const WalkOptions& options;
    std::vector<std::string> files;
  } cases[] = {
      {{"site"},
       plain,
       {"site/a.HTML", "site/b.htm", "site/lib/jq.min.html", "site/lib/ok.xsl",
        "site/vendor/v.htm"}},
      {{"site"}, excluding, {"site/a.HTML", "site/b.htm", "site/lib/ok.xsl"}},
      // Named files are always checked, excluded or missing.
      {{"site/vendor/v.htm", "missing.htm", "empty"},
       excluding,
       {"site/vendor/v.htm", "missing.htm", "empty (nothing)"}},
      {{"site/vendor"}, excluding, {"site/vendor/v.htm"}},
      {{"-"}, named, {"site/vendor/in.htm (excluded)"}},
      {{"-"}, plain, {"-"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(listed(dir, c.paths, c.options), c.files) << c.paths[0];
  }
}

TEST(FileWalk, SkipsWhatGitIgnores) {
  if (!walkReadsGitIgnore()) GTEST_SKIP() << "this build reads no git rules";
  testing::ScratchDir dir;
  const testing::ProgramRun init =
      testing::runProgram("/usr/bin/env", dir.path(), {"git", "init", "-q"});
  if (init.status != 0) GTEST_SKIP() << "needs git (apt-get install git)";
  for (const char* name : {"a.htm", "build/out.htm", "sub/gen.html",
                           "sub/keep.htm", "deep/x/y.htm"}) {
    std::filesystem::create_directories(
        std::filesystem::path(dir / name).parent_path());
    testing::writeFile(dir / name, "<p>");
  }
  testing::writeFile(dir / ".gitignore", "build/\ny.htm\n");
  testing::writeFile(dir / "sub/.gitignore", "gen.html\n");
  WalkOptions withRules;
  WalkOptions noRules;
  noRules.gitIgnore = false;
  WalkOptions ignoredStdin;
  ignoredStdin.stdinName = dir / "build/in.htm";
  const struct {
    std::vector<std::string> paths;
    const WalkOptions& options;
    std::vector<std::string> files;
  } cases[] = {
      {{"."}, withRules, {"./a.htm", "./sub/keep.htm"}},
      {{"sub"}, withRules, {"sub/keep.htm"}},
      {{"."},
       noRules,
       {"./a.htm", "./build/out.htm", "./deep/x/y.htm", "./sub/gen.html",
        "./sub/keep.htm"}},
      // Named: a file always; an ignored folder walked as asked for.
      {{"sub/gen.html", "build"}, withRules, {"sub/gen.html", "build/out.htm"}},
      {{"-"}, ignoredStdin, {"build/in.htm (excluded)"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(listed(dir, c.paths, c.options), c.files) << c.paths[0];
  }
}

}  // namespace
}  // namespace tagfmt
