// Content-Length framing: the header block, the body, and resuming after a
// header that makes no sense.
#include "lsp/framing.h"

#include <algorithm>
#include <cctype>

namespace tagfmt::lsp {

namespace {

// A header block with no end this far in is not one.
constexpr std::size_t kHeaderLimit = 8192;
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
constexpr std::string_view kLengthName = "content-length:";

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) {
      return false;
    }
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

// The Content-Length of a header block, or false when it has none or a
// value that is not a plain decimal number.
bool contentLength(std::string_view block, std::size_t& length) {
  bool found = false;
  while (!block.empty()) {
    const std::size_t end = std::min(block.find("\r\n"), block.size());
    const std::string_view line = block.substr(0, end);
    block.remove_prefix(std::min(end + 2, block.size()));
    if (!startsWithNoCase(line, kLengthName)) continue;
    const std::string_view value = trimmed(line.substr(kLengthName.size()));
    if (value.empty() || value.size() > 18) return false;
    std::size_t number = 0;
    for (const char c : value) {
      if (c < '0' || c > '9') return false;
      number = number * 10 + static_cast<std::size_t>(c - '0');
    }
    length = number;
    found = true;
  }
  return found;
}

}  // namespace

void FrameReader::feed(std::string_view bytes) {
  if (skipping_ > 0) {
    const std::size_t skipped = std::min(skipping_, bytes.size());
    skipping_ -= skipped;
    bytes.remove_prefix(skipped);
  }
  buffer_.append(bytes);
}

void FrameReader::consume(std::size_t position) {
  start_ = position;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  } else if (start_ > 65536 && start_ > buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
}

bool FrameReader::badHeader(Frame& frame, std::size_t blockEnd,
                            std::string problem) {
  frame.kind = FrameKind::kBadHeader;
  frame.body.clear();
  frame.problem = std::move(problem);
  // Resume at the next header that names a length, if the bad block holds
  // one (a body's bytes run straight into the next header), else after it.
  std::size_t resume = blockEnd;
  for (std::size_t at = start_ + 1; at < blockEnd; ++at) {
    if (startsWithNoCase(std::string_view(buffer_).substr(at), kLengthName)) {
      resume = at;
      break;
    }
  }
  consume(resume);
  return true;
}

bool FrameReader::next(Frame& frame) {
  if (skipping_ > 0) return false;
  const std::string_view pending = std::string_view(buffer_).substr(start_);
  if (inBody_) {
    if (pending.size() < bodyLength_) return false;
    frame.kind = FrameKind::kMessage;
    frame.body.assign(pending.substr(0, bodyLength_));
    frame.problem.clear();
    inBody_ = false;
    consume(start_ + bodyLength_);
    return true;
  }
  const std::size_t end = pending.find(kHeaderEnd);
  if (end == std::string_view::npos) {
    if (pending.size() <= kHeaderLimit) return false;
    return badHeader(frame, buffer_.size(), "no end to the header");
  }
  const std::size_t blockEnd = start_ + end + kHeaderEnd.size();
  std::size_t length = 0;
  if (!contentLength(pending.substr(0, end), length)) {
    return badHeader(frame, blockEnd, "no Content-Length in the header");
  }
  consume(blockEnd);
  if (length > limit_) {
    frame.kind = FrameKind::kTooLarge;
    frame.body.clear();
    frame.problem = "a message of " + std::to_string(length) +
                    " bytes, more than the " + std::to_string(limit_) +
                    " this server takes";
    const std::size_t here = std::min(length, buffer_.size() - start_);
    consume(start_ + here);
    skipping_ = length - here;
    return true;
  }
  inBody_ = true;
  bodyLength_ = length;
  return next(frame);
}

std::string frameMessage(std::string_view body) {
  std::string framed = "Content-Length: " + std::to_string(body.size());
  framed += kHeaderEnd;
  framed += body;
  return framed;
}

}  // namespace tagfmt::lsp
