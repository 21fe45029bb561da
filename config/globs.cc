// Exclude globs: the byte matcher, and gitignore's folder and anchor forms
// over it.
#include "config/globs.h"

namespace tagfmt {

namespace {

// One byte of a name against the pattern element at `p` (not a "*"):
// whether it matches, and where the pattern goes on after it.
struct Step {
  bool matched;
  std::size_t next;
};

// The "[" at `p` against `byte`: a set of bytes and "a-z" ranges, negated
// by a leading "!", whose first byte may be a "]". A "[" with no "]" after
// it is a byte like any other.
Step setStep(std::string_view pattern, std::size_t p, char byte) {
  std::size_t at = p + 1;
  const bool negated = at < pattern.size() && pattern[at] == '!';
  if (negated) ++at;
  bool inSet = false;
  const std::size_t first = at;
  for (; at < pattern.size() && (at == first || pattern[at] != ']'); ++at) {
    if (at + 2 < pattern.size() && pattern[at + 1] == '-' &&
        pattern[at + 2] != ']') {
      inSet |= byte >= pattern[at] && byte <= pattern[at + 2];
      at += 2;
    } else {
      inSet |= byte == pattern[at];
    }
  }
  if (at == pattern.size()) return {byte == '[', p + 1};
  return {byte != '/' && inSet != negated, at + 1};
}

// `byte` against the element at `p`: "?", a set, an escaped byte or a
// plain one; past the pattern's end, nothing matches.
Step step(std::string_view pattern, std::size_t p, char byte) {
  if (p >= pattern.size()) return {false, p};
  if (pattern[p] == '[') return setStep(pattern, p, byte);
  if (pattern[p] == '?') return {byte != '/', p + 1};
  if (pattern[p] == '\\' && p + 1 < pattern.size()) {
    return {byte == pattern[p + 1], p + 2};
  }
  return {byte == pattern[p], p + 1};
}

}  // namespace

bool globMatches(std::string_view pattern, std::string_view name) {
  std::size_t p = 0;
  std::size_t n = 0;
  // Where to go on after the last "*" when a later byte fails to match.
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starP = p++;
      starN = n;
      continue;
    }
    const Step taken = step(pattern, p, name[n]);
    if (taken.matched) {
      p = taken.next;
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
