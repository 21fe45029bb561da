// The file job's platform steps of platform.h, written once for every
// platform over system_calls.h, and the path splitting they share.
#pragma once

#include <string>
#include <string_view>

#include "driver/platform.h"

namespace tagfmt {

// Splits `path` into its folder part, kept as given with its final
// separator, and its final name, at the platform's separators (on Windows
// also after a drive's colon).
void splitPath(std::string_view path, std::string& folder, std::string& leaf);

}  // namespace tagfmt
