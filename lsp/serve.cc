// The loop around the protocol: wait for input, read, publish when changes
// pause, write; the streams are the platform's.
#include "lsp/serve.h"

#include <algorithm>
#include <string>
#include <string_view>

#include "driver/standard_streams.h"
#include "lsp/server.h"

namespace tagfmt::lsp {

namespace {

using Clock = std::chrono::steady_clock;

std::chrono::milliseconds waitFor(Clock::time_point due) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
  return std::max(std::chrono::milliseconds(0), left);
}

}  // namespace

int serve(const ServerConfig& config) {
  sys::openStandardStreams();
  Server server(kMessageLimit, config);
  std::string block(65536, '\0');
  Clock::time_point lastInput;
  Clock::time_point firstPending;
  while (!server.finished()) {
    std::chrono::milliseconds timeout(-1);
    if (server.hasPending()) {
      timeout = waitFor(
          std::min(lastInput + kDebounce, firstPending + kLongestDelay));
    }
    const sys::InputWait wait = sys::waitForInput(timeout);
    if (wait == sys::InputWait::kFailed) break;
    if (wait == sys::InputWait::kTimedOut) {
      server.publishPending();
    } else {
      const std::ptrdiff_t got = sys::readInput(block.data(), block.size());
      if (got <= 0) break;
      const bool waiting = server.hasPending();
      server.receive(
          std::string_view(block.data(), static_cast<std::size_t>(got)));
      lastInput = Clock::now();
      if (!waiting) firstPending = lastInput;
    }
    if (!sys::writeOutput(server.takeOutput())) break;
  }
  return server.finished() ? server.exitStatus() : 1;
}

}  // namespace tagfmt::lsp
