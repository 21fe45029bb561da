// Unified diffs of what tagfmt would write, every byte of a line kept.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tagfmt {

// A unified diff that turns `before` into `after`, line ends included;
// empty when they are equal. A relative path that stays below the current
// folder is headed "--- a/PATH" and "+++ b/PATH", as git and patch -p1 take
// it; any other path (absolute, or climbing with "..") is written as given,
// with no a/ or b/, which names the file for a reader.
std::string unifiedDiff(std::string_view path, std::string_view before,
                        std::string_view after);

// The same diff handed to `write` a line or a header at a time, so that a
// diff of a large page is never held whole.
using DiffSink = std::function<void(std::string_view)>;
void writeUnifiedDiff(std::string_view path, std::string_view before,
                      std::string_view after, const DiffSink& write);

// True when `path` is relative and never climbs above where it starts.
bool staysBelow(std::string_view path);

// `path` relative to `folder` (absolute) when it is an absolute path below
// it, so that its diff applies with git apply there; else `path` itself.
std::string relativeBelow(std::string_view path, std::string_view folder);

// `diff` with its headers, hunk lines and changed lines coloured for a
// terminal.
std::string colourDiff(std::string_view diff);

}  // namespace tagfmt
