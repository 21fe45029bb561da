// tagfmt-check's option words: what each sets in each of its spellings, and
// what is said of the words that cannot stand.
#include "check/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tagfmt {
namespace {

using Words = std::vector<std::string>;

TEST(CheckLine, EachOptionWordSetsItsOption) {
  using O = const CheckOptions&;
  const struct {
    Words words;  // a page's name follows, unless they name "-"
    bool (*took)(O);
  } cases[] = {
      {{"--markers"}, [](O o) { return o.run.markerMode; }},
      {{"--line-ends-only"}, [](O o) { return o.run.lineEndsOnly; }},
      {{"-l", "-z"},
       [](O o) { return o.mode == OutputMode::kList && o.nulEnded; }},
      {{"--diff"}, [](O o) { return o.mode == OutputMode::kDiff; }},
      {{"--stdout"}, [](O o) { return o.mode == OutputMode::kStdout; }},
      {{"--fix", "--backup"},
       [](O o) { return o.mode == OutputMode::kFix && o.backup; }},
      {{"--no-ignore"}, [](O o) { return o.noIgnore; }},
      {{"--force-exclude"}, [](O o) { return o.forceExclude; }},
      {{"--no-config"},
       [](O o) { return o.config.choice == ConfigChoice::kNone; }},
      {{"--config", "t.toml"},
       [](O o) {
         return o.config.choice == ConfigChoice::kFile &&
                o.config.file == "t.toml";
       }},
      {{"--config=t.toml"}, [](O o) { return o.config.file == "t.toml"; }},
      {{"--exclude", "a/*", "--exclude=b"},
       [](O o) {
         return o.excludes == Words{"a/*", "b"};
       }},
      {{"--stdin-filename", "p.htm", "-"},
       [](O o) { return o.stdinName == "p.htm"; }},
      {{"--stdin-filename=p.htm", "-"},
       [](O o) { return o.stdinName == "p.htm"; }},
      {{"--format=json"}, [](O o) { return o.format == OutputFormat::kJson; }},
      {{"--format", "github"},
       [](O o) { return o.format == OutputFormat::kGithub; }},
      {{"--color"}, [](O o) { return o.color == ColorChoice::kAlways; }},
      {{"--color=never"}, [](O o) { return o.color == ColorChoice::kNever; }},
      {{"-q"}, [](O o) { return o.quiet; }},
      {{"--quiet"}, [](O o) { return o.quiet; }},
      {{"-j", "3"}, [](O o) { return o.jobs == 3; }},
      {{"-j12"}, [](O o) { return o.jobs == 12; }},
      {{"-h"}, [](O o) { return o.help; }},
      {{"--help"}, [](O o) { return o.help; }},
      {{"--version"}, [](O o) { return o.version; }},
  };
  for (const auto& c : cases) {
    Words words = c.words;
    if (words.back() != "-") words.push_back("page.htm");
    CheckOptions options;
    EXPECT_EQ(parseCheckLine(words, options), "") << c.words[0];
    EXPECT_TRUE(c.took(options)) << c.words[0];
  }
}

TEST(CheckLine, WordsThatCannotStand) {
  const struct {
    Words words;
    const char* error;
  } cases[] = {
      {{"--format"}, "--format needs a value"},
      {{"--exclude"}, "--exclude needs a value"},
      {{"--format=xml"}, "--format takes plain, json or github, not 'xml'"},
      {{"--color=sometimes"},
       "--color takes auto, always or never, not 'sometimes'"},
      {{"-j"}, "-j needs a number"},
      {{"-j", "0"}, "-j takes a number from 1 to 1024, not '0'"},
      {{"-j1025"}, "-j takes a number from 1 to 1024, not '1025'"},
      {{"--markers=yes"}, "unknown option '--markers=yes'"},
      {{"--configs"}, "unknown option '--configs'"},
      {{"-l", "--diff"}, "choose one of -l, --diff, --stdout and --fix"},
      {{"--config", "a", "--no-config"}, "give --config or --no-config once"},
  };
  for (const auto& c : cases) {
    CheckOptions options;
    EXPECT_EQ(parseCheckLine(c.words, options), c.error) << c.words[0];
  }
}

}  // namespace
}  // namespace tagfmt
