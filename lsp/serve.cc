// The POSIX loop around the protocol: poll, read, publish when changes
// pause, write.
#include "lsp/serve.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <string>
#include <string_view>

#include "lsp/server.h"

namespace tagfmt::lsp {

namespace {

using Clock = std::chrono::steady_clock;

bool writeAll(int output, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(output, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

int waitFor(Clock::time_point due) {
  const auto left =
      std::chrono::ceil<std::chrono::milliseconds>(due - Clock::now());
  return static_cast<int>(std::max<std::int64_t>(0, left.count()));
}

}  // namespace

int serve(int input, int output, const ServerConfig& config) {
  // A client that goes away shows as a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
  Server server(kMessageLimit, config);
  std::string block(65536, '\0');
  Clock::time_point lastInput;
  Clock::time_point firstPending;
  while (!server.finished()) {
    int timeout = -1;
    if (server.hasPending()) {
      timeout = waitFor(
          std::min(lastInput + kDebounce, firstPending + kLongestDelay));
    }
    pollfd ready{input, POLLIN, 0};
    const int count = ::poll(&ready, 1, timeout);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) break;
    if (count == 0) {
      server.publishPending();
    } else {
      const ssize_t got = ::read(input, block.data(), block.size());
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got <= 0) break;
      const bool waiting = server.hasPending();
      server.receive(
          std::string_view(block.data(), static_cast<std::size_t>(got)));
      lastInput = Clock::now();
      if (!waiting) firstPending = lastInput;
    }
    if (!writeAll(output, server.takeOutput())) break;
  }
  return server.finished() ? server.exitStatus() : 1;
}

}  // namespace tagfmt::lsp
