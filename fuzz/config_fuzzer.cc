// libFuzzer target for .tagfmt.toml and exclude globs: any bytes parse to
// keys or to one FILE:LINE: error, and the globs match without a fault.
#include <cstdint>
#include <string>
#include <string_view>

#include "config/globs.h"
#include "config/project_config.h"
#include "fuzz/require.h"

using tagfmt::fuzz::require;

// The first byte says where to cut the rest into a glob and a path.
// NOLINTNEXTLINE(readability-identifier-naming): the name libFuzzer calls
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size == 0) return 0;
  const std::string_view text(reinterpret_cast<const char*>(data) + 1,
                              size - 1);
  tagfmt::ProjectConfig config;
  const std::string error = tagfmt::parseConfig(text, "c.toml", config);
  require(error.empty() || error.starts_with("c.toml:"),
          "an error names the file");
  require(error.find('\n') == std::string::npos, "an error is one line");
  for (const std::string& glob : config.excludes) {
    require(tagfmt::excludeProblem(glob).empty(), "kept excludes can match");
  }
  for (const std::string& extension : config.extensions) {
    require(!extension.empty() &&
                tagfmt::hasPageExtension("a." + extension, &config),
            "kept extensions are pages'");
  }
  const std::size_t cut = text.size() * data[0] / 256;
  const std::string glob(text.substr(0, cut));
  const std::string_view path = text.substr(cut);
  tagfmt::globMatches(glob, path);
  tagfmt::isExcluded({glob}, path, data[0] % 2 == 0);
  tagfmt::excludeProblem(glob);
  return 0;
}
