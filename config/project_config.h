// A project's settings for tagfmt-check and tagfmt-lsp: .tagfmt.toml, found
// from a file's folder upward to its work tree's root, and read by toml++.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "format/format.h"

namespace tagfmt {

inline constexpr std::string_view kConfigName = ".tagfmt.toml";

// The keys of one config file.
struct ProjectConfig {
  std::string file;    // the file it was read from, as named
  std::string folder;  // its folder, absolute: excludes are relative to it
  std::vector<std::string> excludes;
  std::vector<std::string> extensions;  // lower case, without the dot
  std::optional<bool> markers;
  std::optional<bool> lineEndsOnly;
};

// Reads the TOML text `text` of the config file `file` into `config`.
// Returns "" when it makes sense, else "FILE:LINE: what is wrong": a TOML
// syntax error, an unknown key or a value of the wrong type or form.
std::string parseConfig(std::string_view text, const std::string& file,
                        ProjectConfig& config);

// Reads and parses the config file `file`; "FILE: cannot read: reason"
// when it cannot be read.
std::string readConfig(const std::string& file, ProjectConfig& config);

// Where a run takes its config from: --config FILE, --no-config, or by
// default the nearest .tagfmt.toml.
enum class ConfigChoice { kLookUp, kFile, kNone };

struct ConfigSource {
  ConfigChoice choice = ConfigChoice::kLookUp;
  std::string file;  // for kFile
};

// The config files of a run, each read once. Lookup starts in a file's
// folder and goes up, stopping after a folder that holds ".git" (the work
// tree's root) or at the file system's root; the nearest file wins whole.
class ConfigLookup {
 public:
  explicit ConfigLookup(ConfigSource source);
  ConfigLookup(const ConfigLookup&) = delete;
  ConfigLookup& operator=(const ConfigLookup&) = delete;

  // The config for files in `folder` (as named, "" for the current one),
  // or null when none applies or the one that applies is wrong.
  const ProjectConfig* forFolder(const std::string& folder);
  // The config for the file `path`.
  const ProjectConfig* forFile(const std::string& path);
  // Whether a config leaves out the absolute path `absolute` or a folder
  // above it, each judged by the config of the folder that holds it, up to
  // the work tree's root: what a walk from there would not reach, though
  // a folder's own config says otherwise.
  bool leavesOut(const std::string& absolute, bool isFolder);
  // The first config error met, or "".
  const std::string& error() const { return error_; }

 private:
  const ProjectConfig* load(const std::string& file);
  const ProjectConfig* lookUp(const std::string& absolute);

  ConfigSource source_;
  std::map<std::string, const ProjectConfig*> byFolder_;
  std::map<std::string, std::unique_ptr<ProjectConfig>> byFile_;
  std::string error_;
};

// `run` with what `config` (which may be null) turns on.
RunOptions withConfig(RunOptions run, const ProjectConfig* config);

// True when `name` ends in a page's extension (.htm, .html, .xsl, .xslt)
// or one `config` adds, in any letter case.
bool hasPageExtension(std::string_view name, const ProjectConfig* config);

// True when an exclude of `config` matches the absolute path `absolute`,
// taken relative to the config's folder, or, when `entryOnly` is set, the
// path itself but no folder on the way to it.
bool configExcludes(const ProjectConfig* config, const std::string& absolute,
                    bool isFolder, bool entryOnly = false);

}  // namespace tagfmt
