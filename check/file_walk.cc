// The files a run checks: paths as given, folders searched in sorted order,
// less excluded and git-ignored names. git's rules are read by libgit2.
#include "check/file_walk.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>

#include "config/project_config.h"

#ifdef TAGFMT_GIT_IGNORE
#include <git2.h>
#endif

namespace tagfmt {

namespace fs = std::filesystem;

namespace {

// A named file is a page by its extension; a name that names nothing is
// left for the check to say it cannot be opened.
bool isPage(const std::string& path, const ProjectConfig* config) {
  std::error_code error;
  return hasPageExtension(path, config) ||
         !fs::exists(fs::symlink_status(path, error));
}

// `path` made absolute, in normal form, with no trailing "/".
std::string absolutePath(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  std::string normal = error ? path : absolute.lexically_normal().string();
  if (normal.size() > 1 && normal.ends_with('/')) normal.pop_back();
  return normal;
}

// A named path as --exclude sees it with --force-exclude: relative to the
// current folder where it lies below it, else as given, in normal form.
std::string namedRelative(const std::string& path) {
  fs::path normal = fs::path(path).lexically_normal();
  if (normal.is_absolute()) {
    std::error_code error;
    const fs::path below = normal.lexically_relative(fs::current_path(error));
    if (!error && !below.empty() && !below.string().starts_with("..")) {
      normal = below;
    }
  }
  std::string relative = normal.generic_string();
  if (relative.ends_with('/')) relative.pop_back();
  return relative;
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
  ConfigLookup& configs;
  std::vector<FileToCheck>& files;
  git_repository* repository = nullptr;  // when git's rules apply
  std::string treeBase;  // the named folder within the work tree
};

// Whether the entry `relative` (below the named folder; at `absolute`) is
// left out by --exclude, the config of its folder or git.
bool skipped(const Walk& walk, const std::string& relative,
             const ProjectConfig* config, const std::string& absolute,
             bool isFolder) {
  // Folders above the entry were looked at on the way down, or named.
  if (isExcluded(walk.options.excludes, relative, isFolder) ||
      configExcludes(config, absolute, isFolder, true)) {
    return true;
  }
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
  const ProjectConfig* config = walk.configs.forFolder(folder);
  const std::string absolute = absolutePath(folder);
  for (const std::string& name : names) {
    const std::string path = joinPath(folder, name);
    const std::string below = joinRelative(relative, name);
    const std::string at =
        absolute.ends_with('/') ? absolute + name : absolute + "/" + name;
    const fs::file_status link = fs::symlink_status(path, error);
    if (fs::is_directory(link)) {
      if (!name.starts_with(".") && !skipped(walk, below, config, at, true)) {
        walkFolder(walk, path, below);
      }
    } else if (hasPageExtension(name, config) &&
               !fs::is_directory(path, error) &&
               !skipped(walk, below, config, at, false)) {
      walk.files.push_back({path, WalkEntry::kFile, false,
                            withConfig(walk.options.run, config)});
    }
  }
}

// Standard input is excluded or ignored by the name it goes by.
bool stdinLeftOut(const WalkOptions& options, const ProjectConfig* config,
                  IgnoreRules& rules) {
  if (options.stdinName.empty()) return false;
  const std::string name =
      fs::path(options.stdinName).lexically_normal().string();
  if (isExcluded(options.excludes, name) ||
      configExcludes(config, absolutePath(name), false)) {
    return true;
  }
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

// With --force-exclude, whether --exclude or a config leaves out the named
// `path`.
bool namedLeftOut(const WalkOptions& options, ConfigLookup& configs,
                  const std::string& path, bool isFolder) {
  return options.forceExclude &&
         (isExcluded(options.excludes, namedRelative(path), isFolder) ||
          configs.leavesOut(absolutePath(path), isFolder));
}

void listStandardInput(const WalkOptions& options, ConfigLookup& configs,
                       IgnoreRules& rules, std::vector<FileToCheck>& files) {
  const std::string& named = options.stdinName;
  const ProjectConfig* config =
      named.empty() ? configs.forFolder("") : configs.forFile(named);
  const bool page = named.empty() || hasPageExtension(named, config);
  files.push_back({named.empty() ? "-" : named,
                   page ? WalkEntry::kStandardInput : WalkEntry::kNotAPage,
                   stdinLeftOut(options, config, rules),
                   withConfig(options.run, config)});
}

}  // namespace

bool isFolder(const std::string& path) {
  std::error_code error;
  return path != "-" && fs::is_directory(path, error);
}

std::vector<FileToCheck> listFiles(const std::vector<std::string>& paths,
                                   const WalkOptions& options,
                                   std::string* configError) {
  std::vector<FileToCheck> files;
  ConfigLookup configs(options.config);
  std::unique_ptr<IgnoreRules> rules;
  const auto ignoreRules = [&rules]() -> IgnoreRules& {
    if (!rules) rules = std::make_unique<IgnoreRules>();
    return *rules;
  };
  for (const std::string& path : paths) {
    if (path == "-") {
      listStandardInput(options, configs, ignoreRules(), files);
    } else if (isFolder(path)) {
      if (namedLeftOut(options, configs, path, true)) continue;
      Walk walk{options, configs, files, nullptr, {}};
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
      const ProjectConfig* config = configs.forFile(path);
      files.push_back(
          {path, isPage(path, config) ? WalkEntry::kFile : WalkEntry::kNotAPage,
           namedLeftOut(options, configs, path, false),
           withConfig(options.run, config)});
    }
  }
  if (configError != nullptr) *configError = configs.error();
  return files;
}

}  // namespace tagfmt
