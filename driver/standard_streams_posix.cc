// Standard input and output for the language server, over poll, read and
// write.
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "driver/standard_streams.h"

namespace tagfmt::sys {

void openStandardStreams() {
  // A reader that goes away shows as a failed write, not a signal.
  std::signal(SIGPIPE, SIG_IGN);
}

InputWait waitForInput(std::chrono::milliseconds timeout) {
  pollfd ready{STDIN_FILENO, POLLIN, 0};
  while (true) {
    const int count =
        ::poll(&ready, 1,
               timeout.count() < 0 ? -1 : static_cast<int>(timeout.count()));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return InputWait::kFailed;
    return count == 0 ? InputWait::kTimedOut : InputWait::kReady;
  }
}

std::ptrdiff_t readInput(char* data, std::size_t size) {
  while (true) {
    const ssize_t got = ::read(STDIN_FILENO, data, size);
    if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    return got;
  }
}

bool writeOutput(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace tagfmt::sys
