// Content-Length framing of JSON-RPC messages on a byte stream, as the
// Language Server Protocol sends them over standard input and output.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tagfmt::lsp {

enum class FrameKind {
  kMessage,    // `body` holds one whole message
  kBadHeader,  // a header block without a usable Content-Length
  kTooLarge,   // a message longer than the reader's limit, skipped unread
};

struct Frame {
  FrameKind kind = FrameKind::kMessage;
  std::string body;
  // kBadHeader and kTooLarge: what was wrong, in a few words.
  std::string problem;
};

// Cuts a byte stream into messages. Bytes come in pieces of any size; a
// message's body is kept only once it is whole, and a body over the limit
// is skipped as it arrives, so no input makes the reader hold more than the
// limit and one header block.
class FrameReader {
 public:
  explicit FrameReader(std::size_t limit) : limit_(limit) {}
  void feed(std::string_view bytes);
  // Takes the next frame into `frame`; false when more bytes are needed.
  bool next(Frame& frame);

 private:
  // Drops the bytes before `position`.
  void consume(std::size_t position);
  bool badHeader(Frame& frame, std::size_t blockEnd, std::string problem);

  std::size_t limit_;
  std::string buffer_;
  std::size_t start_ = 0;
  // A body being read: its length, or how much of a large one to skip.
  bool inBody_ = false;
  std::size_t bodyLength_ = 0;
  std::size_t skipping_ = 0;
};

// The message `body` with its header, ready to write.
std::string frameMessage(std::string_view body);

}  // namespace tagfmt::lsp
