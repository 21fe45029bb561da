// .tagfmt.toml's keys and their errors, the upward lookup, and exclude
// globs in gitignore's forms.
#include "config/project_config.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "config/globs.h"
#include "tests/test_util.h"

namespace tagfmt {
namespace {

namespace fs = std::filesystem;

// A named path is judged with the folders above it; a walk asks about
// each entry alone, the folders above it asked about on the way down.
TEST(ExcludeGlobs, GitignoreForms) {
  const struct {
    const char* glob;
    const char* path;
    bool isFolder;
    bool excluded;
    bool entryOnly;
  } cases[] = {
      {"vendor/", "vendor/x.htm", false, true, false},
      {"vendor/", "lib/vendor/x.htm", false, true, false},
      {"vendor/", "vendor", false, false, false},  // a file named vendor
      {"vendor/", "vendor", true, true, false},
      {"vendor", "vendor", false, true, false},
      {"./site", "site/a.htm", false, true, false},
      {"./site", "site", true, true, false},
      {"./site", "lib/site/a.htm", false, false, false},
      {"/site", "site/a.htm", false, true, false},
      {"/site", "lib/site/a.htm", false, false, false},
      {"./site/", "site", false, false, false},
      {"site/gen", "site/gen/a.htm", false, true, false},
      {"site/gen", "x/site/gen/a.htm", false, false, false},
      {"lib/*", "lib/x/y.htm", false, true, false},
      {"*.min.html", "a/b.min.html", false, true, false},
      {"*.min.html/", "a/b.min.html", false, false, false},
      {"vendor", "vendors/x.htm", false, false, false},

      {"vendor/", "vendor/x.htm", false, false, true},
      {"vendor/", "lib/vendor", true, true, true},
      {"vendor/", "lib/vendor", false, false, true},
      {"./site/gen", "site/gen", true, true, true},
      {"./site", "site/gen", true, false, true},
      {"*.min.html", "a/b.min.html", false, true, true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.entryOnly ? excludesEntry({c.glob}, c.path, c.isFolder)
                          : isExcluded({c.glob}, c.path, c.isFolder),
              c.excluded)
        << c.glob << " on " << c.path << (c.entryOnly ? ", entry only" : "");
  }
}

TEST(ExcludeGlobs, ThoseThatCanNeverMatch) {
  const struct {
    const char* glob;
    const char* problem;
  } cases[] = {
      {"", "it is empty"},
      {"/", "it is empty"},
      {"./", "it holds a \".\" component"},
      {"a//b", "it holds \"//\""},
      {"../site", "it holds a \"..\" component"},
      {"vendor/", ""},
      {"./site", ""},
      {"*.min.html", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(excludeProblem(c.glob), c.problem) << c.glob;
  }
}

TEST(ProjectConfig, KeysAndErrors) {
  const struct {
    const char* text;
    const char* error;  // "" when it parses
  } cases[] = {
      {"exclude = [\"vendor/\", \"./site\"]\nextensions = [\"tmpl\", "
       "\".TPL\"]\nmarkers = true\nline-ends-only = false\n",
       ""},
      {"", ""},
      {"markers = true\nindent = 2\n",
       "p/.tagfmt.toml:2: unknown key \"indent\" (known: exclude, extensions, "
       "markers, line-ends-only)"},
      {"[tool]\nx = 1\n",
       "p/.tagfmt.toml:1: unknown key \"tool\" (known: exclude, extensions, "
       "markers, line-ends-only)"},
      // Each error is one line, whatever bytes the key holds.
      {"\"a\\nb\\u0001\" = 1\n",
       "p/.tagfmt.toml:1: unknown key \"a\\nb\\x01\" (known: exclude, "
       "extensions, markers, line-ends-only)"},
      {"\nmarkers = \"yes\"\n",
       "p/.tagfmt.toml:2: markers takes true or false, not a string"},
      {"line-ends-only = 1\n",
       "p/.tagfmt.toml:1: line-ends-only takes true or false, not an integer"},
      {"exclude = \"vendor\"\n",
       "p/.tagfmt.toml:1: exclude takes an array of strings, not a string"},
      {"exclude = [\n  \"a\",\n  3,\n]\n",
       "p/.tagfmt.toml:3: exclude takes an array of strings, not one holding "
       "an integer"},
      {"exclude = [\"a//b\"]\n",
       "p/.tagfmt.toml:1: exclude \"a//b\" can never match: it holds \"//\""},
      {"extensions = [\"t/x\"]\n",
       "p/.tagfmt.toml:1: extensions: \"t/x\" is not an extension (letters, "
       "digits, \"-\", \"_\" or \"+\")"},
      // toml++ 3.3 would reach an unreachable point on these.
      {"markers = true\n\xef\xba\xbf = 1\n",
       "p/.tagfmt.toml:2: U+FEBF is not taken here: write it as \"\\uFEBF\" "
       "in a string"},
      {"\"caf\xc3\xa9\" = 1\n",
       "p/.tagfmt.toml:1: U+00E9 is not taken here: write it as \"\\u00E9\" "
       "in a string"},
      {"# \xe3\x80\x81\n",
       "p/.tagfmt.toml:1: U+3001 is not taken here: "
       "write it as \"\\u3001\" in a string"},
      {"exclude = [\"caf\\u00e9/\", \"\xe2\x82\xac\"]\n", ""},
      {"extensions = [\".\"]\n",
       "p/.tagfmt.toml:1: extensions: \"\" is not an extension (letters, "
       "digits, \"-\", \"_\" or \"+\")"},
  };
  for (const auto& c : cases) {
    ProjectConfig config;
    EXPECT_EQ(parseConfig(c.text, "p/.tagfmt.toml", config), c.error) << c.text;
  }
  ProjectConfig config;
  ASSERT_EQ(parseConfig(cases[0].text, "p/.tagfmt.toml", config), "");
  EXPECT_EQ(config.excludes, (std::vector<std::string>{"vendor/", "./site"}));
  EXPECT_EQ(config.extensions, (std::vector<std::string>{"tmpl", "tpl"}));
  EXPECT_EQ(config.markers, true);
  EXPECT_EQ(config.lineEndsOnly, false);
  EXPECT_TRUE(hasPageExtension("a.TMPL", &config));
  EXPECT_FALSE(hasPageExtension("a.tmpl", nullptr));
}

// Syntax errors and bytes that are no text say where, and do not crash.
TEST(ProjectConfig, SyntaxErrorsNameTheLine) {
  for (const char* text :
       {"markers =\n", "\n\nexclude = [\"a\"\n", "markers = true\n\xff\xfe\n",
        "a = 1\na = 2\n", "\"\\u\" = 1\n"}) {
    ProjectConfig config;
    const std::string error = parseConfig(text, "x.toml", config);
    EXPECT_TRUE(error.starts_with("x.toml:")) << error;
    EXPECT_GT(error.size(), std::string("x.toml:1: ").size()) << error;
  }
}

TEST(ProjectConfig, LookupStopsAtTheWorkTreesRoot) {
  testing::ScratchDir dir;
  for (const char* folder : {"tree/.git", "tree/a/b", "tree/c", "loose/d"}) {
    fs::create_directories(dir / folder);
  }
  testing::writeFile(dir / ".tagfmt.toml", "markers = true\n");
  testing::writeFile(dir / "tree/a/.tagfmt.toml", "line-ends-only = true\n");
  ConfigLookup lookup({ConfigChoice::kLookUp, {}});
  const ProjectConfig* nested = lookup.forFolder(dir / "tree/a/b");
  ASSERT_NE(nested, nullptr);
  EXPECT_EQ(nested->folder, dir / "tree/a");
  EXPECT_EQ(nested->lineEndsOnly, true);
  EXPECT_EQ(nested->markers, std::nullopt);  // nearest wins, no merging
  EXPECT_EQ(lookup.forFile(dir / "tree/a/b/p.htm"), nested);
  EXPECT_EQ(lookup.forFolder(dir / "tree/c"), nullptr);  // stops at .git
  const ProjectConfig* loose = lookup.forFolder(dir / "loose/d/");
  ASSERT_NE(loose, nullptr);
  EXPECT_EQ(loose->markers, true);
  EXPECT_EQ(lookup.error(), "");

  ConfigLookup given({ConfigChoice::kFile, dir / "tree/a/.tagfmt.toml"});
  EXPECT_EQ(given.forFolder(dir / "loose"), given.forFolder(dir / "tree/c"));
  EXPECT_NE(given.forFolder(dir / "loose"), nullptr);
  ConfigLookup none({ConfigChoice::kNone, {}});
  EXPECT_EQ(none.forFolder(dir / "tree/a"), nullptr);

  testing::writeFile(dir / "tree/c/.tagfmt.toml", "markers = 2\n");
  ConfigLookup bad({ConfigChoice::kLookUp, {}});
  EXPECT_EQ(bad.forFolder(dir / "tree/c"), nullptr);
  EXPECT_EQ(bad.error(), dir / "tree/c/.tagfmt.toml" +
                             ":1: markers takes true or false, not an integer");
}

TEST(ProjectConfig, ExcludesAreRelativeToTheConfigsFolder) {
  ProjectConfig config;
  config.folder = "/w/site";
  config.excludes = {"./gen", "vendor/"};
  EXPECT_TRUE(configExcludes(&config, "/w/site/gen/a.htm", false));
  EXPECT_FALSE(configExcludes(&config, "/w/site/x/gen/a.htm", false));
  EXPECT_TRUE(configExcludes(&config, "/w/site/x/vendor/a.htm", false));
  EXPECT_FALSE(configExcludes(&config, "/w/site", true));
  EXPECT_FALSE(configExcludes(nullptr, "/w/site/gen/a.htm", false));
}

}  // namespace
}  // namespace tagfmt
