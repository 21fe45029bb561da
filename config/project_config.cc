// .tagfmt.toml: its keys read by toml++ (without exceptions), and the
// upward lookup from a file's folder, each folder and file looked at once.
#include "config/project_config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "config/globs.h"

#define TOML_EXCEPTIONS 0
#define TOML_ENABLE_FORMATTERS 0
#include <toml++/toml.h>

namespace tagfmt {

namespace fs = std::filesystem;

namespace {

std::string where(const std::string& file, const toml::source_region& at) {
  return file + ":" + std::to_string(at.begin.line) + ": ";
}

std::string_view typeName(const toml::node& node) {
  switch (node.type()) {
    case toml::node_type::table:
      return "a table";
    case toml::node_type::array:
      return "an array";
    case toml::node_type::string:
      return "a string";
    case toml::node_type::integer:
      return "an integer";
    case toml::node_type::floating_point:
      return "a float";
    case toml::node_type::boolean:
      return "a boolean";
    default:
      return "a date or time";
  }
}

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Reads one entry of `extensions`: an optional leading dot, then letters,
// digits, "-", "_" or "+". Returns "" or what is wrong.
std::string takeExtension(std::string_view value, ProjectConfig& config) {
  if (value.starts_with('.')) value.remove_prefix(1);
  std::string extension;
  for (const char c : value) extension += lowerAscii(c);
  if (extension.empty() ||
      extension.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-_+") !=
          std::string::npos) {
    return "extensions: \"" + std::string(value) +
           "\" is not an extension (letters, digits, \"-\", \"_\" or \"+\")";
  }
  config.extensions.push_back(std::move(extension));
  return {};
}

// Reads `exclude` or `extensions`, an array of strings.
std::string takeStrings(const std::string& file, std::string_view key,
                        const toml::node& node, ProjectConfig& config) {
  const toml::array* array = node.as_array();
  if (array == nullptr) {
    return where(file, node.source()) + std::string(key) +
           " takes an array of strings, not " + std::string(typeName(node));
  }
  for (const toml::node& item : *array) {
    const toml::value<std::string>* text = item.as_string();
    if (text == nullptr) {
      return where(file, item.source()) + std::string(key) +
             " takes an array of strings, not one holding " +
             std::string(typeName(item));
    }
    const std::string& value = text->get();
    std::string problem;
    if (key == "extensions") {
      problem = takeExtension(value, config);
    } else if (const std::string why = excludeProblem(value); !why.empty()) {
      problem = "exclude \"" + value + "\" can never match: " + why;
    } else {
      config.excludes.push_back(value);
    }
    if (!problem.empty()) return where(file, item.source()) + problem;
  }
  return {};
}

std::string takeBool(const std::string& file, std::string_view key,
                     const toml::node& node, std::optional<bool>& value) {
  const toml::value<bool>* flag = node.as_boolean();
  if (flag == nullptr) {
    return where(file, node.source()) + std::string(key) +
           " takes true or false, not " + std::string(typeName(node));
  }
  value = flag->get();
  return {};
}

// A config found by the lookup, named relative to the current folder where
// it lies below it, as the paths of the files it applies to are.
std::string shownName(const fs::path& absolute) {
  std::error_code error;
  const fs::path below = absolute.lexically_relative(fs::current_path(error));
  if (error || below.empty() || below.string().starts_with("..")) {
    return absolute.string();
  }
  return below.string();
}

// The characters toml++ 3.3 cannot ask "is this a blank?" of: it reaches
// an unreachable point for them (in keys, between tokens, in multi-line
// strings), so they are refused before it parses.
struct CodeRange {
  unsigned first;
  unsigned last;
};
constexpr CodeRange kUnsafeForToml[] = {
    {0xA1, 0x499}, {0x2C5E, 0x2FFF}, {0x3001, 0x3057}, {0xFB26, 0xFEFE}};

// The code point of the two- or three-byte UTF-8 sequence at `at`, or 0.
// Overlong forms count too: a decoder that takes them must not see them.
unsigned codeAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned lead = byte(at);
  const bool follows1 = (byte(at + 1) & 0xC0u) == 0x80u;
  const bool follows2 = (byte(at + 2) & 0xC0u) == 0x80u;
  if ((lead & 0xE0u) == 0xC0u && follows1) {
    return ((lead & 0x1Fu) << 6) | (byte(at + 1) & 0x3Fu);
  }
  if ((lead & 0xF0u) == 0xE0u && follows1 && follows2) {
    return ((lead & 0x0Fu) << 12) | ((byte(at + 1) & 0x3Fu) << 6) |
           (byte(at + 2) & 0x3Fu);
  }
  return 0;
}

// Returns "" or "FILE:LINE: U+XXXX ...".
std::string refusedCharacter(std::string_view text, const std::string& file) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++line;
    const unsigned code = codeAt(text, i);
    for (const CodeRange& range : kUnsafeForToml) {
      if (code < range.first || code > range.last) continue;
      char name[16];
      std::snprintf(name, sizeof name, "U+%04X", code);
      return file + ":" + std::to_string(line) + ": " + name +
             " is not taken here: write it as \"\\u" + (name + 2) +
             "\" in a string";
    }
  }
  return {};
}

// `message` with each control byte written as an escape, so that it stays
// one line on a terminal: toml++ quotes the bytes it saw, and keys and
// values are shown as written.
std::string oneLine(const std::string& message) {
  std::string shown;
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      shown += c;
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      shown += escape;
    }
  }
  return shown;
}

std::string parseConfigText(std::string_view text, const std::string& file,
                            ProjectConfig& config) {
  if (std::string refused = refusedCharacter(text, file); !refused.empty()) {
    return refused;
  }
  toml::parse_result parsed = toml::parse(text, file);
  if (!parsed) {
    return where(file, parsed.error().source()) +
           std::string(parsed.error().description());
  }
  for (auto&& [key, node] : parsed.table()) {
    const std::string_view name = key.str();
    std::string problem;
    if (name == "exclude" || name == "extensions") {
      problem = takeStrings(file, name, node, config);
    } else if (name == "markers") {
      problem = takeBool(file, name, node, config.markers);
    } else if (name == "line-ends-only") {
      problem = takeBool(file, name, node, config.lineEndsOnly);
    } else {
      problem = where(file, key.source()) + "unknown key \"" +
                std::string(name) +
                "\" (known: exclude, extensions, markers, line-ends-only)";
    }
    if (!problem.empty()) return problem;
  }
  return {};
}

}  // namespace

std::string parseConfig(std::string_view text, const std::string& file,
                        ProjectConfig& config) {
  return oneLine(parseConfigText(text, file, config));
}

std::string readConfig(const std::string& file, ProjectConfig& config) {
  std::error_code error;
  std::string text;
  errno = 0;
  std::FILE* stream = std::fopen(file.c_str(), "rb");
  if (stream != nullptr && !fs::is_regular_file(file, error)) {
    std::fclose(stream);
    return oneLine(file + ": cannot read: not a regular file");
  }
  if (stream != nullptr) {
    char block[4096];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, stream));) {
      text.append(block, got);
    }
    const bool failed = std::ferror(stream) != 0;
    std::fclose(stream);
    if (failed) stream = nullptr;
  }
  if (stream == nullptr) {
    const int number = errno;
    return oneLine(
        file + ": cannot read: " +
        (number != 0 ? std::strerror(number) : "an error of the system"));
  }
  config.file = file;
  config.folder =
      fs::absolute(file, error).lexically_normal().parent_path().string();
  return parseConfig(text, file, config);
}

ConfigLookup::ConfigLookup(ConfigSource source) : source_(std::move(source)) {}

const ProjectConfig* ConfigLookup::load(const std::string& file) {
  const auto [slot, added] = byFile_.try_emplace(file);
  if (!added) return slot->second.get();
  auto config = std::make_unique<ProjectConfig>();
  const std::string problem = readConfig(file, *config);
  if (!problem.empty()) {
    if (error_.empty()) error_ = problem;
    return nullptr;
  }
  slot->second = std::move(config);
  return slot->second.get();
}

const ProjectConfig* ConfigLookup::lookUp(const std::string& start) {
  std::vector<std::string> visited;
  const ProjectConfig* found = nullptr;
  fs::path folder = start;
  for (;;) {
    const auto known = byFolder_.find(folder.string());
    if (known != byFolder_.end()) {
      found = known->second;
      break;
    }
    visited.push_back(folder.string());
    std::error_code error;
    const fs::path candidate = folder / kConfigName;
    if (fs::exists(candidate, error)) {
      found = load(shownName(candidate));
      break;
    }
    // The work tree's root, or the file system's, ends the search.
    if (fs::exists(folder / ".git", error) || folder == folder.parent_path()) {
      break;
    }
    folder = folder.parent_path();
  }
  for (const std::string& seen : visited) byFolder_[seen] = found;
  return found;
}

const ProjectConfig* ConfigLookup::forFolder(const std::string& folder) {
  if (source_.choice == ConfigChoice::kNone) return nullptr;
  if (source_.choice == ConfigChoice::kFile) return load(source_.file);
  std::error_code error;
  fs::path absolute =
      fs::absolute(folder.empty() ? "." : folder, error).lexically_normal();
  if (error) return nullptr;
  if (!absolute.has_filename() && absolute.has_relative_path()) {
    absolute = absolute.parent_path();  // "/a/b/" as "/a/b"
  }
  return lookUp(absolute.string());
}

const ProjectConfig* ConfigLookup::forFile(const std::string& path) {
  return forFolder(fs::path(path).parent_path().string());
}

bool ConfigLookup::leavesOut(const std::string& absolute, bool isFolder) {
  fs::path at = absolute;
  for (bool folder = isFolder;; folder = true) {
    const fs::path holder = at.parent_path();
    if (holder == at) return false;
    if (configExcludes(forFolder(holder.string()), at.string(), folder)) {
      return true;
    }
    std::error_code error;
    if (fs::exists(holder / ".git", error)) return false;
    at = holder;
  }
}

RunOptions withConfig(RunOptions run, const ProjectConfig* config) {
  if (config == nullptr) return run;
  run.markerMode |= config->markers.value_or(false);
  run.lineEndsOnly |= config->lineEndsOnly.value_or(false);
  return run;
}

bool hasPageExtension(std::string_view name, const ProjectConfig* config) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string extension;
  for (const char c : name.substr(dot + 1)) extension += lowerAscii(c);
  if (extension == "htm" || extension == "html" || extension == "xsl" ||
      extension == "xslt") {
    return true;
  }
  if (config == nullptr) return false;
  for (const std::string& extra : config->extensions) {
    if (extension == extra) return true;
  }
  return false;
}

bool configExcludes(const ProjectConfig* config, const std::string& absolute,
                    bool isFolder, bool entryOnly) {
  if (config == nullptr || config->excludes.empty()) return false;
  const std::string relative =
      fs::path(absolute).lexically_relative(config->folder).generic_string();
  if (relative.empty() || relative == ".") return false;
  return entryOnly ? excludesEntry(config->excludes, relative, isFolder)
                   : isExcluded(config->excludes, relative, isFolder);
}

}  // namespace tagfmt
