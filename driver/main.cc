// tagfmt: re-indents HTML pages and XSL stylesheets in place.
#include <string>
#include <vector>

#include "driver/driver.h"
#include "driver/platform.h"

int main(int argc, char** argv) {
  tagfmt::useBinaryStandardOutput();
  const std::vector<std::string> words = tagfmt::programArguments(argc, argv);
  std::vector<const char*> pointers;
  pointers.reserve(words.size());
  for (const std::string& word : words) pointers.push_back(word.c_str());
  return tagfmt::runCommandLine(static_cast<int>(pointers.size()),
                                pointers.data());
}
