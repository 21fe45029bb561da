// libFuzzer target for the language server: random bytes as a client's
// stream, cut into reads at a byte the input picks, after a real
// initialize so that the document handlers are reached too. The server
// must not crash, whatever comes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "lsp/framing.h"
#include "lsp/server.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  tagfmt::lsp::Server server(1 << 16);
  server.receive(tagfmt::lsp::frameMessage(
      R"({"jsonrpc":"2.0","id":0,"method":"initialize","params":{}})"));
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t cut = size == 0 ? 0 : data[0] % (size + 1);
  server.receive(input.substr(0, cut));
  server.publishPending();
  server.receive(input.substr(cut));
  server.publishPending();
  server.takeOutput();
  return 0;
}
