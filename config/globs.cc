// Exclude globs: the byte matcher, and gitignore's folder and anchor forms
// over it.
#include "config/globs.h"

namespace tagfmt {

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

namespace {

// One exclude split into its gitignore form.
struct ExcludeForm {
  std::string_view glob;    // without the anchor and the trailing "/"
  bool anchored = false;    // matched from the start of the path
  bool folderOnly = false;  // matched against folders only
};

ExcludeForm formOf(std::string_view glob) {
  ExcludeForm form;
  if (glob.ends_with('/')) {
    form.folderOnly = true;
    glob.remove_suffix(1);
  }
  if (glob.starts_with("./")) {
    form.anchored = true;
    glob.remove_prefix(2);
  } else if (glob.starts_with('/')) {
    form.anchored = true;
    glob.remove_prefix(1);
  }
  // As in gitignore, a "/" inside the glob anchors it too.
  form.anchored |= glob.find('/') != std::string_view::npos;
  form.glob = glob;
  return form;
}

}  // namespace

namespace {

// Whether `form` matches the part of `relative` that ends at `end` (a "/"
// or the end), which starts at `start`.
bool matchesAt(const ExcludeForm& form, std::string_view relative,
               std::size_t start, std::size_t end, bool isFolder) {
  const bool folder = end < relative.size() || isFolder;
  const std::string_view tried = form.anchored
                                     ? relative.substr(0, end)
                                     : relative.substr(start, end - start);
  return end > start && (folder || !form.folderOnly) &&
         globMatches(form.glob, tried);
}

}  // namespace

bool isExcluded(const std::vector<std::string>& excludes,
                std::string_view relative, bool isFolder) {
  for (const std::string& exclude : excludes) {
    const ExcludeForm form = formOf(exclude);
    if (form.glob.empty()) continue;
    // Each folder on the way down, then the path itself.
    for (std::size_t start = 0; start <= relative.size();) {
      std::size_t end = relative.find('/', start);
      if (end == std::string_view::npos) end = relative.size();
      if (matchesAt(form, relative, start, end, isFolder)) return true;
      start = end + 1;
    }
  }
  return false;
}

bool excludesEntry(const std::vector<std::string>& excludes,
                   std::string_view relative, bool isFolder) {
  const std::size_t slash = relative.rfind('/');
  const std::size_t start = slash == std::string_view::npos ? 0 : slash + 1;
  for (const std::string& exclude : excludes) {
    const ExcludeForm form = formOf(exclude);
    if (!form.glob.empty() &&
        matchesAt(form, relative, start, relative.size(), isFolder)) {
      return true;
    }
  }
  return false;
}

std::string excludeProblem(std::string_view glob) {
  const ExcludeForm form = formOf(glob);
  if (form.glob.empty()) return "it is empty";
  for (std::size_t start = 0; start <= form.glob.size();) {
    std::size_t end = form.glob.find('/', start);
    if (end == std::string_view::npos) end = form.glob.size();
    const std::string_view part = form.glob.substr(start, end - start);
    if (part.empty()) return "it holds \"//\"";
    if (part == "." || part == "..") {
      return "it holds a \"" + std::string(part) + "\" component";
    }
    start = end + 1;
  }
  return {};
}

}  // namespace tagfmt
