// A file's bytes where they are always a copy, which the reader fills: on
// Windows, and on the in-memory disk of the tests.
#include "driver/file_bytes.h"

namespace tagfmt {

FileBytes::~FileBytes() = default;

std::string& FileBytes::copy() { return copy_; }

bool FileBytes::intact() const { return true; }

void FileBytes::release() { std::string().swap(copy_); }

void reserveForText(std::string& buffer, std::size_t size) {
  buffer.reserve(size);
}

}  // namespace tagfmt
