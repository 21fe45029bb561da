// Exclude globs as gitignore writes them: a glob's bytes, a trailing "/" for
// a folder only, a leading "./" or "/" to anchor it at the folder named.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tagfmt {

// True when the glob `pattern` matches the whole of `name`: "*" matches any
// run of bytes but "/", "?" one byte but "/", "[abc]", "[a-z]" and "[!a]"
// one byte of a set, and "\" takes the next byte as it is.
bool globMatches(std::string_view pattern, std::string_view name);

// True when an exclude matches `relative`, a path below the folder the
// excludes are relative to ("sub/page.htm"), or a folder on the way to it;
// `isFolder` says whether `relative` itself names a folder. An exclude with
// no "/" but a trailing one matches any one component; one that starts with
// "./" or "/", or holds a "/" before its end, matches from the start of
// `relative`; a trailing "/" matches folders only.
bool isExcluded(const std::vector<std::string>& excludes,
                std::string_view relative, bool isFolder = false);

// As isExcluded, but for `relative` itself only, not the folders on the way
// to it: for a walk, which has looked at those already.
bool excludesEntry(const std::vector<std::string>& excludes,
                   std::string_view relative, bool isFolder);

// Why the exclude `glob` can never match a path, or "" when it can: it is
// empty, or holds an empty, "." or ".." component.
std::string excludeProblem(std::string_view glob);

}  // namespace tagfmt
