// The test client: fork and exec over pipes, and reads with a deadline.
#include "lsp/test_client.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "lsp/json_bytes.h"

namespace tagfmt::lsp {

ServerProcess::ServerProcess(const std::string& binary) {
  int in[2];
  int out[2];
  if (pipe(in) != 0 || pipe(out) != 0) std::abort();
  pid_ = fork();
  if (pid_ == 0) {
    dup2(in[0], STDIN_FILENO);
    dup2(out[1], STDOUT_FILENO);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  toServer_ = in[1];
  fromServer_ = out[0];
  signal(SIGPIPE, SIG_IGN);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    finish();
  }
}

void ServerProcess::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(toServer_, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

void ServerProcess::send(const ProtocolJson& message) {
  write(frameMessage(jsonText(message)));
}

ProtocolJson ServerProcess::next(std::chrono::milliseconds wait) {
  const auto due = std::chrono::steady_clock::now() + wait;
  Frame frame;
  char block[65536];
  while (!reader_.next(frame)) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        due - std::chrono::steady_clock::now());
    pollfd ready{fromServer_, POLLIN, 0};
    if (left.count() <= 0 ||
        poll(&ready, 1, static_cast<int>(left.count())) <= 0) {
      return ProtocolJson::value_t::discarded;
    }
    const ssize_t got = read(fromServer_, block, sizeof block);
    if (got <= 0) return ProtocolJson::value_t::discarded;
    reader_.feed(std::string_view(block, static_cast<std::size_t>(got)));
  }
  // Bytes that are not UTF-8 come back as the server carries them inside.
  return parseProtocolJson(isUtf8(frame.body) ? frame.body
                                              : bytesToUtf8(frame.body));
}

int ServerProcess::finish() {
  if (toServer_ >= 0) close(toServer_);
  toServer_ = -1;
  int status = 0;
  const pid_t waited = waitpid(pid_, &status, 0);
  pid_ = -1;
  if (fromServer_ >= 0) close(fromServer_);
  fromServer_ = -1;
  if (waited < 0 || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

ProtocolJson requestMessage(int id, const std::string& method,
                            ProtocolJson params) {
  return {{"jsonrpc", "2.0"},
          {"id", id},
          {"method", method},
          {"params", std::move(params)}};
}

ProtocolJson notificationMessage(const std::string& method,
                                 ProtocolJson params) {
  return {
      {"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
}

std::string applyEdits(std::string_view before,
                       const std::vector<ByteEdit>& edits) {
  std::string result;
  std::size_t at = 0;
  for (const ByteEdit& edit : edits) {
    result.append(before.substr(at, edit.from - at));
    result += edit.text;
    at = edit.to;
  }
  result.append(before.substr(at));
  return result;
}

}  // namespace tagfmt::lsp
