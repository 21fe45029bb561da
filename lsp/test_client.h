// A client for tests and the benchmark: runs tagfmt-lsp on a pair of pipes
// and trades framed messages with it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>

#include "lsp/edits.h"
#include "lsp/framing.h"
#include "report/json.h"

namespace tagfmt::lsp {

class ServerProcess {
 public:
  explicit ServerProcess(const std::string& binary);
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Writes raw bytes, or one framed message.
  void write(std::string_view bytes);
  void send(const ProtocolJson& message);
  // The next message from the server, or a discarded value when none came
  // within `wait` (or the server ended).
  ProtocolJson next(std::chrono::milliseconds wait);
  // The next message that `wanted` accepts, skipping others.
  template <typename Wanted>
  ProtocolJson nextWhere(Wanted wanted, std::chrono::milliseconds wait) {
    const auto due = std::chrono::steady_clock::now() + wait;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          due - std::chrono::steady_clock::now());
      if (left.count() <= 0) return ProtocolJson::value_t::discarded;
      ProtocolJson message = next(left);
      if (message.is_discarded() || wanted(message)) return message;
    }
  }
  // Closes the server's input and waits for it; its exit status, or -1.
  int finish();

 private:
  pid_t pid_ = -1;
  int toServer_ = -1;
  int fromServer_ = -1;
  FrameReader reader_{std::size_t{1} << 30};
};

// `before` with `edits` applied, as a client applies them.
std::string applyEdits(std::string_view before,
                       const std::vector<ByteEdit>& edits);

// Messages as a client writes them.
ProtocolJson requestMessage(int id, const std::string& method,
                            ProtocolJson params);
ProtocolJson notificationMessage(const std::string& method,
                                 ProtocolJson params);

}  // namespace tagfmt::lsp
