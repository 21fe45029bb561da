// Terminals and colour.
#include "check/terminal.h"

#include <cstdlib>
#include <string_view>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tagfmt {

namespace {

bool isTerminal(std::FILE* stream) {
#ifdef _WIN32
  return _isatty(_fileno(stream)) != 0;
#else
  return ::isatty(::fileno(stream)) != 0;
#endif
}

}  // namespace

bool coloured(ColorChoice choice, std::FILE* stream) {
  if (choice != ColorChoice::kAuto) return choice == ColorChoice::kAlways;
  const char* noColour = std::getenv("NO_COLOR");
  const char* term = std::getenv("TERM");
  return isTerminal(stream) && (noColour == nullptr || *noColour == '\0') &&
         !(term != nullptr && std::string_view(term) == "dumb");
}

}  // namespace tagfmt
