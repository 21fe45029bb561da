// Standard input and output as a long-lived program (the language server)
// uses them: wait for input with a time-out, read what came, write all.
// POSIX gives them in standard_streams_posix.cc, Windows in
// standard_streams_windows.cc; one is picked at link time.
#pragma once

#include <chrono>
#include <cstddef>
#include <string_view>

namespace tagfmt::sys {

enum class InputWait { kReady, kTimedOut, kFailed };

// Readies the streams: once, before any other call.
void openStandardStreams();

// Waits until standard input has bytes or ends (kReady), `timeout` passes
// (kTimedOut; a negative one never does) or waiting fails.
InputWait waitForInput(std::chrono::milliseconds timeout);

// Reads at most `size` bytes that came on standard input: their count, 0
// at its end, or -1 when reading failed.
std::ptrdiff_t readInput(char* data, std::size_t size);

// Writes all of `bytes` to standard output; false when it failed, as it
// does once the reader has gone.
bool writeOutput(std::string_view bytes);

}  // namespace tagfmt::sys
