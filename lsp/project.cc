// A document's settings from the config of its file and the client's.
#include "lsp/project.h"

namespace tagfmt::lsp {

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string filePathOfUri(std::string_view uri) {
  constexpr std::string_view kScheme = "file://";
  if (!uri.starts_with(kScheme)) return {};
  uri.remove_prefix(kScheme.size());
  if (uri.starts_with("localhost/")) uri.remove_prefix(9);
  if (!uri.starts_with('/')) return {};
  std::string path;
  for (std::size_t i = 0; i < uri.size(); ++i) {
    const int high = i + 2 < uri.size() ? hexValue(uri[i + 1]) : -1;
    const int low = i + 2 < uri.size() ? hexValue(uri[i + 2]) : -1;
    if (uri[i] == '%' && high >= 0 && low >= 0) {
      path += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      path += uri[i];
    }
  }
  return path;
}

DocumentSettings settingsFor(const std::string& uri, const ServerConfig& config,
                             const ClientSettings& client, std::string& error) {
  const std::string path = filePathOfUri(uri);
  ConfigLookup lookup(config.source);
  const ProjectConfig* project = nullptr;
  if (!path.empty() || config.source.choice == ConfigChoice::kFile) {
    project = lookup.forFile(path);
  }
  DocumentSettings settings;
  if (project != nullptr) {
    settings.run.markerMode = project->markers.value_or(false);
    settings.run.lineEndsOnly = project->lineEndsOnly.value_or(false);
  }
  settings.excluded =
      config.forceExclude && !path.empty() && lookup.leavesOut(path, false);
  error = lookup.error();
  settings.run.markerMode = client.markers.value_or(settings.run.markerMode);
  settings.run.lineEndsOnly =
      client.lineEndsOnly.value_or(settings.run.lineEndsOnly);
  return settings;
}

}  // namespace tagfmt::lsp
