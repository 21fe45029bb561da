// Standard input and output for the language server on Windows, where a
// pipe cannot be waited on with a time-out: a thread reads standard input
// and hands each piece to the waiting loop.
#include <windows.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "driver/standard_streams.h"

namespace tagfmt::sys {

namespace {

struct Incoming {
  std::mutex lock;
  std::condition_variable arrived;
  std::deque<std::string> pieces;
  bool ended = false;  // no piece comes after those held
};

Incoming& incoming() {
  static Incoming* const shared = new Incoming;  // outlives the reader
  return *shared;
}

void readAll() {
  Incoming& in = incoming();
  const HANDLE input = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string block(65536, '\0');
  while (true) {
    DWORD got = 0;
    const bool ok =
        ::ReadFile(input, block.data(), static_cast<DWORD>(block.size()), &got,
                   nullptr) != 0;
    const std::lock_guard<std::mutex> held(in.lock);
    if (!ok || got == 0) {
      in.ended = true;
      in.arrived.notify_one();
      return;
    }
    in.pieces.emplace_back(block.data(), got);
    in.arrived.notify_one();
  }
}

}  // namespace

void openStandardStreams() {
  // The reader blocks in ReadFile until input ends; the process may end
  // before it does.
  std::thread(readAll).detach();
}

InputWait waitForInput(std::chrono::milliseconds timeout) {
  Incoming& in = incoming();
  std::unique_lock<std::mutex> held(in.lock);
  const auto ready = [&in] { return !in.pieces.empty() || in.ended; };
  if (timeout.count() < 0) {
    in.arrived.wait(held, ready);
    return InputWait::kReady;
  }
  return in.arrived.wait_for(held, timeout, ready) ? InputWait::kReady
                                                   : InputWait::kTimedOut;
}

std::ptrdiff_t readInput(char* data, std::size_t size) {
  Incoming& in = incoming();
  std::unique_lock<std::mutex> held(in.lock);
  in.arrived.wait(held, [&in] { return !in.pieces.empty() || in.ended; });
  if (in.pieces.empty()) return 0;
  std::string& piece = in.pieces.front();
  const std::size_t count = std::min(size, piece.size());
  piece.copy(data, count);
  piece.erase(0, count);
  if (piece.empty()) in.pieces.pop_front();
  return static_cast<std::ptrdiff_t>(count);
}

bool writeOutput(std::string_view bytes) {
  const HANDLE output = ::GetStdHandle(STD_OUTPUT_HANDLE);
  while (!bytes.empty()) {
    DWORD written = 0;
    const DWORD size = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size(), std::size_t{1} << 30));
    if (::WriteFile(output, bytes.data(), size, &written, nullptr) == 0 ||
        written == 0) {
      return false;
    }
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace tagfmt::sys
