// A document's project settings: the file its URI names, the .tagfmt.toml
// that applies to it, and the client's settings over that.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "config/project_config.h"
#include "format/format.h"

namespace tagfmt::lsp {

// What tagfmt-lsp's command line says of configs.
struct ServerConfig {
  ConfigSource source{ConfigChoice::kNone, {}};
  bool forceExclude = false;  // a document the config excludes is left alone
};

// The client's settings; one it has not given leaves the config's.
struct ClientSettings {
  std::optional<bool> markers;
  std::optional<bool> lineEndsOnly;
};

struct DocumentSettings {
  RunOptions run;
  bool excluded = false;  // no diagnostics, no edits
};

// The local path of a "file:" URI, percent-decoded, or "" for any other
// URI or a file on another host.
std::string filePathOfUri(std::string_view uri);

// The settings for the document `uri`: the client's where it gave them,
// else its config's. A document with no file has only --config's config.
// `error` is set to the config error met, or "".
DocumentSettings settingsFor(const std::string& uri, const ServerConfig& config,
                             const ClientSettings& client, std::string& error);

}  // namespace tagfmt::lsp
