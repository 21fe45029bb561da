// The loop that serves one client over standard input and output: it reads
// the client's bytes, hands them to the protocol, and publishes diagnostics
// once changes pause.
#pragma once

#include <chrono>

#include "lsp/project.h"

namespace tagfmt::lsp {

// How long the loop waits for more changes before it publishes, and the
// longest it lets a burst of changes put diagnostics off.
inline constexpr std::chrono::milliseconds kDebounce{15};
inline constexpr std::chrono::milliseconds kLongestDelay{200};

// Serves one client, with `config` for the project settings, until "exit"
// or the end of input. Returns the process's exit status.
int serve(const ServerConfig& config);

}  // namespace tagfmt::lsp
