// The files a run of tagfmt-check looks at: paths as given, folders searched
// in sorted order, less what --exclude and git's ignore rules leave out.
#pragma once

#include <string>
#include <vector>

#include "config/globs.h"
#include "config/project_config.h"
#include "format/format.h"

namespace tagfmt {

struct WalkOptions {
  std::vector<std::string> excludes;  // globs, as --exclude gives them
  bool gitIgnore = true;              // skip what git ignores in a folder
  std::string stdinName;              // the name "-" goes by, or ""
  RunOptions run;                     // the command line's
  ConfigSource config{ConfigChoice::kNone, {}};
  bool forceExclude = false;  // excludes apply to named paths too
};

enum class WalkEntry {
  kFile,           // a file to check, named or found in a folder
  kStandardInput,  // "-"
  kNothingFound,   // a named folder that holds no page to check
  kNotAPage,       // a named file, or standard input by its name, whose
                   // extension is not a page's: refused, never read
};

// One entry of the run. `path` is the name it is said by: for standard
// input, the --stdin-filename or "-".
struct FileToCheck {
  std::string path;
  WalkEntry kind = WalkEntry::kFile;
  // Standard input whose name is excluded or ignored, or, with
  // --force-exclude, a named file that is excluded.
  bool excluded = false;
  RunOptions run = {};  // the command line's, with what its config turns on
};

// The entries the paths name, in order: a folder is searched recursively,
// in sorted order, for *.htm, *.html, *.xsl and *.xslt in any letter case,
// skipping hidden folders, what an exclude glob matches and, unless told
// not to, what git ignores where the folder is in a git work tree; a folder
// in which nothing is found is one kNothingFound entry. Any other path is
// taken as a file, even when it does not exist (its check then says it
// cannot be opened), and is checked when its name ends in a page's
// extension; a file that exists under another name is a kNotAPage entry.
// Standard input is a page unless its --stdin-filename says otherwise.
// Each folder's config (see ConfigLookup) adds its excludes, which apply
// to named paths only with forceExclude, its extensions and its settings;
// `configError`, when given, is set to the first config error met, or "".
std::vector<FileToCheck> listFiles(const std::vector<std::string>& paths,
                                   const WalkOptions& options,
                                   std::string* configError = nullptr);

// True when `path` names a folder.
bool isFolder(const std::string& path);

}  // namespace tagfmt
