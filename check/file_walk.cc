// The files a run checks: paths as given, folders searched in sorted order,
// less excluded and git-ignored names. git's rules are read by libgit2.
#include "check/file_walk.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#ifdef TAGFMT_GIT_IGNORE
#include <git2.h>
#endif

namespace tagfmt {

namespace fs = std::filesystem;

bool globMatches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  // Where to go on after the last "*" when a later byte fails to match.
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    bool matched = false;
    std::size_t next = p + 1;
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
      continue;
    }
    if (p < pattern.size() && pattern[p] == '[') {
      std::size_t at = p + 1;
      const bool negated = at < pattern.size() && pattern[at] == '!';
      if (negated) ++at;
      bool inSet = false;
      std::size_t first = at;
      for (; at < pattern.size() && (at == first || pattern[at] != ']'); ++at) {
        if (at + 2 < pattern.size() && pattern[at + 1] == '-' &&
            pattern[at + 2] != ']') {
          inSet |= name[n] >= pattern[at] && name[n] <= pattern[at + 2];
          at += 2;
        } else {
          inSet |= name[n] == pattern[at];
        }
      }
      if (at < pattern.size()) {  // a closed set; else "[" is a byte
        matched = name[n] != '/' && inSet != negated;
        next = at + 1;
      } else {
        matched = name[n] == '[';
      }
    } else if (p < pattern.size() && pattern[p] == '?') {
      matched = name[n] != '/';
    } else if (p < pattern.size() && pattern[p] == '\\' &&
               p + 1 < pattern.size()) {
      matched = name[n] == pattern[p + 1];
      next = p + 2;
    } else if (p < pattern.size()) {
      matched = name[n] == pattern[p];
    }
    if (matched) {
      p = next;
      ++n;
    } else if (starP != std::string_view::npos && name[starN] != '/') {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool isExcluded(const std::vector<std::string>& excludes,
                std::string_view relative) {
  for (const std::string& glob : excludes) {
    if (globMatches(glob, relative)) return true;
    for (std::size_t start = 0; start <= relative.size();) {
      std::size_t end = relative.find('/', start);
      if (end == std::string_view::npos) end = relative.size();
      if (end > start && globMatches(glob, relative.substr(start, end - start)))
        return true;
      start = end + 1;
    }
  }
  return false;
}

namespace {

char lowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool hasPageExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return false;
  std::string extension;
  for (const char c : name.substr(dot + 1)) extension += lowerAscii(c);
  return extension == "htm" || extension == "html" || extension == "xsl" ||
         extension == "xslt";
}

// A named file is a page by its extension; a name that names nothing is
// left for the check to say it cannot be opened.
bool isPage(const std::string& path) {
  std::error_code error;
  return hasPageExtension(path) || !fs::exists(fs::symlink_status(path, error));
}

// "." lists its files by their bare names, as gofmt -l does.
std::string joinPath(const std::string& folder, const std::string& name) {
  if (folder == ".") return name;
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::string joinRelative(const std::string& relative, const std::string& name) {
  return relative.empty() ? name : relative + "/" + name;
}

#ifdef TAGFMT_GIT_IGNORE

// The git work trees met in a run, each opened once; libgit2 is set up for
// as long as one is open.
class IgnoreRules {
 public:
  IgnoreRules() { git_libgit2_init(); }
  ~IgnoreRules() {
    for (auto& [root, repository] : repositories_) {
      git_repository_free(repository);
    }
    git_libgit2_shutdown();
  }
  IgnoreRules(const IgnoreRules&) = delete;
  IgnoreRules& operator=(const IgnoreRules&) = delete;

  // The rules for `path` (an existing file or folder): where it lies in its
  // work tree, which is the one open in `repository`. False outside any.
  bool locate(const std::string& path, git_repository*& repository,
              std::string& inTree) {
    std::error_code error;
    const fs::path real = fs::canonical(path, error);
    if (error) return false;
    git_repository* found = nullptr;
    const std::string start = real.string();
    if (git_repository_open_ext(&found, start.c_str(), 0, nullptr) != 0) {
      return false;
    }
    const char* workdir = git_repository_workdir(found);
    if (workdir == nullptr) {
      git_repository_free(found);
      return false;
    }
    const fs::path root = fs::canonical(workdir, error);
    const auto [slot, added] = repositories_.try_emplace(root.string(), found);
    if (!added) git_repository_free(found);
    repository = slot->second;
    inTree = error ? std::string() : real.lexically_relative(root).string();
    if (error || inTree.starts_with("..")) return false;
    if (inTree == ".") inTree.clear();
    return true;
  }

  static bool ignored(git_repository* repository, const std::string& inTree) {
    int ignored = 0;
    return !inTree.empty() &&
           git_ignore_path_is_ignored(&ignored, repository, inTree.c_str()) ==
               0 &&
           ignored == 1;
  }

 private:
  std::map<std::string, git_repository*> repositories_;
};

#else

// Without libgit2 nothing counts as ignored.
struct git_repository;
class IgnoreRules {
 public:
  bool locate(const std::string&, git_repository*&, std::string&) {
    return false;
  }
  static bool ignored(git_repository*, const std::string&) { return false; }
};

#endif

// A walk of one named folder.
struct Walk {
  const WalkOptions& options;
  std::vector<FileToCheck>& files;
  git_repository* repository = nullptr;  // when git's rules apply
  std::string treeBase;  // the named folder within the work tree
};

bool skipped(const Walk& walk, const std::string& relative) {
  if (isExcluded(walk.options.excludes, relative)) return true;
  return walk.repository != nullptr &&
         IgnoreRules::ignored(walk.repository,
                              joinRelative(walk.treeBase, relative));
}

void walkFolder(Walk& walk, const std::string& folder,
                const std::string& relative) {
  std::error_code error;
  std::vector<std::string> names;
  for (fs::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  if (error) {
    // Listed as a file, so that its check says it cannot be opened.
    walk.files.push_back({folder});
    return;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = joinPath(folder, name);
    const std::string below = joinRelative(relative, name);
    const fs::file_status link = fs::symlink_status(path, error);
    if (fs::is_directory(link)) {
      if (!name.starts_with(".") && !skipped(walk, below)) {
        walkFolder(walk, path, below);
      }
    } else if (hasPageExtension(name) && !fs::is_directory(path, error) &&
               !skipped(walk, below)) {
      walk.files.push_back({path});
    }
  }
}

// Standard input is excluded or ignored by the name it goes by.
bool stdinLeftOut(const WalkOptions& options, IgnoreRules& rules) {
  if (options.stdinName.empty()) return false;
  const std::string name =
      fs::path(options.stdinName).lexically_normal().string();
  if (isExcluded(options.excludes, name)) return true;
  if (!options.gitIgnore) return false;
  const fs::path parent = fs::path(name).parent_path();
  git_repository* repository = nullptr;
  std::string inTree;
  return rules.locate(parent.empty() ? "." : parent.string(), repository,
                      inTree) &&
         IgnoreRules::ignored(
             repository,
             joinRelative(inTree, fs::path(name).filename().string()));
}

}  // namespace

bool isFolder(const std::string& path) {
  std::error_code error;
  return path != "-" && fs::is_directory(path, error);
}

bool walkReadsGitIgnore() {
#ifdef TAGFMT_GIT_IGNORE
  return true;
#else
  return false;
#endif
}

std::vector<FileToCheck> listFiles(const std::vector<std::string>& paths,
                                   const WalkOptions& options) {
  std::vector<FileToCheck> files;
  std::unique_ptr<IgnoreRules> rules;
  const auto ignoreRules = [&rules]() -> IgnoreRules& {
    if (!rules) rules = std::make_unique<IgnoreRules>();
    return *rules;
  };
  for (const std::string& path : paths) {
    if (path == "-") {
      const std::string name =
          options.stdinName.empty() ? "-" : options.stdinName;
      const bool page =
          options.stdinName.empty() || hasPageExtension(options.stdinName);
      files.push_back({name,
                       page ? WalkEntry::kStandardInput : WalkEntry::kNotAPage,
                       stdinLeftOut(options, ignoreRules())});
    } else if (isFolder(path)) {
      Walk walk{options, files, nullptr, {}};
      // A folder that git ignores is walked as named, without its rules.
      if (options.gitIgnore &&
          (!ignoreRules().locate(path, walk.repository, walk.treeBase) ||
           IgnoreRules::ignored(walk.repository, walk.treeBase))) {
        walk.repository = nullptr;
      }
      const std::size_t before = files.size();
      walkFolder(walk, path, "");
      if (files.size() == before) {
        files.push_back({path, WalkEntry::kNothingFound});
      }
    } else {
      files.push_back(
          {path, isPage(path) ? WalkEntry::kFile : WalkEntry::kNotAPage});
    }
  }
  return files;
}

}  // namespace tagfmt
