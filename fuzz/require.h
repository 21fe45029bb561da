// What every fuzz target does with a broken property: names it on standard
// error and aborts, so that libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace tagfmt::fuzz {

inline void require(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

}  // namespace tagfmt::fuzz
