// Reading a file's bytes on POSIX systems: a copy for small files, a mapping
// for large ones, and the bus-error handler that keeps a mapping of a file
// cut short from ending the program.
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "driver/file_bytes.h"

namespace tagfmt {

namespace {

// A mapping the bus-error handler may repair. `start` is 0 while the slot
// is free or being filled in.
struct MappingSlot {
  std::atomic<std::uintptr_t> start{0};
  std::atomic<std::uintptr_t> end{0};
  std::atomic<bool> taken{false};
  std::atomic<bool> cut{false};
};

constexpr int kSlots = 8;
MappingSlot slots[kSlots];
std::uintptr_t pageSize = 4096;
struct sigaction previousBusAction;

// Touching a page of a mapping past the end of its file raises SIGBUS. Zero
// pages mapped over the rest of the mapping let the reader run on, and the
// slot's flag tells its owner. A fault anywhere else goes where it went
// before.
void onBusError(int signal, siginfo_t* info, void* context) {
  const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
  for (MappingSlot& slot : slots) {
    const std::uintptr_t start = slot.start.load();
    const std::uintptr_t end = slot.end.load();
    if (start == 0 || at < start || at >= end) continue;
    const std::uintptr_t offset = at & (pageSize - 1);
    void* const page = static_cast<char*>(info->si_addr) - offset;
    if (::mmap(page, end - (at - offset), PROT_READ,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) {
      break;
    }
    slot.cut.store(true);
    return;
  }
  if ((previousBusAction.sa_flags & SA_SIGINFO) != 0) {
    previousBusAction.sa_sigaction(signal, info, context);
  } else if (previousBusAction.sa_handler != SIG_DFL &&
             previousBusAction.sa_handler != SIG_IGN) {
    previousBusAction.sa_handler(signal);
  } else {
    // Ends the program as the signal would have; it stays blocked until
    // the handler returns.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    ::sigaction(SIGBUS, &fallback, nullptr);
    ::raise(SIGBUS);
  }
}

bool installBusHandler() {
  const long size = ::sysconf(_SC_PAGESIZE);
  if (size <= 0) return false;
  pageSize = static_cast<std::uintptr_t>(size);
  struct sigaction action {};
  action.sa_sigaction = onBusError;
  action.sa_flags = SA_SIGINFO;
  ::sigemptyset(&action.sa_mask);
  return ::sigaction(SIGBUS, &action, &previousBusAction) == 0;
}

bool busHandlerReady() {
  static const bool ready = installBusHandler();
  return ready;
}

int claimSlot() {
  for (int i = 0; i < kSlots; ++i) {
    if (!slots[i].taken.exchange(true)) return i;
  }
  return -1;
}

// Reads until end of file, or up to and with the first NUL byte: a text
// with a NUL is refused, so nothing after it is read or held. The file may
// have grown since it was measured.
bool readAll(int fd, std::string& bytes, bool& nul) {
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) {
      // Within room reserved ahead, a chunk at a time; past it, growth.
      const std::size_t room = bytes.capacity() - bytes.size();
      bytes.resize(bytes.size() +
                   std::clamp<std::size_t>(room, 65536, 1u << 20));
    }
    const std::size_t chunk =
        std::min<std::size_t>(bytes.size() - got, 1u << 20);
    const ssize_t n = ::read(fd, bytes.data() + got, chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    const void* const zero =
        std::memchr(bytes.data() + got, '\0', static_cast<std::size_t>(n));
    got += static_cast<std::size_t>(n);
    if (zero != nullptr) {
      got = static_cast<std::size_t>(static_cast<const char*>(zero) -
                                     bytes.data()) +
            1;
      nul = true;
      break;
    }
  }
  bytes.resize(got);
  return true;
}

struct Mapping {
  const char* bytes = nullptr;  // nullptr when nothing was mapped
  int slot = -1;
  int watch = -1;
};

// Maps `size` bytes of `fd` and registers the mapping with the handler;
// holds nothing where that cannot be done.
Mapping mapFile(int fd, std::size_t size) {
  Mapping mapping;
  if (!busHandlerReady() || (mapping.slot = claimSlot()) < 0) return {};
  MappingSlot& entry = slots[mapping.slot];
  mapping.watch = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  int flags = MAP_PRIVATE;
#ifdef MAP_POPULATE
  // One call fills in every page table entry: faulting them in one by one
  // costs several times more in a virtual machine.
  flags |= MAP_POPULATE;
#endif
  void* at = mapping.watch < 0 ? MAP_FAILED
                               : ::mmap(nullptr, size, PROT_READ, flags, fd, 0);
  if (at == MAP_FAILED) {
    if (mapping.watch >= 0) ::close(mapping.watch);
    entry.taken.store(false);
    return {};
  }
  const auto start = reinterpret_cast<std::uintptr_t>(at);
  entry.cut.store(false);
  entry.end.store(start + ((size + pageSize - 1) & ~(pageSize - 1)));
  entry.start.store(start);
  mapping.bytes = static_cast<const char*>(at);
  return mapping;
}

}  // namespace

FileBytes::~FileBytes() { release(); }

std::string& FileBytes::copy() {
  release();
  return copy_;
}

bool FileBytes::intact() const {
  if (mapped_ == nullptr) return true;
  if (slots[slot_].cut.load()) return false;
  struct stat st {};
  return ::fstat(watch_, &st) == 0 && st.st_size >= 0 &&
         static_cast<std::uint64_t>(st.st_size) >= mappedSize_;
}

void FileBytes::release() {
  std::string().swap(copy_);
  if (mapped_ == nullptr) return;
  MappingSlot& entry = slots[slot_];
  entry.start.store(0);
  ::munmap(const_cast<char*>(mapped_), mappedSize_);
  ::close(watch_);
  entry.taken.store(false);
  mapped_ = nullptr;
  mappedSize_ = 0;
  watch_ = -1;
  slot_ = -1;
}

void reserveForText(std::string& buffer, std::size_t size) {
  buffer.reserve(size);
#ifdef MADV_HUGEPAGE
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto start = reinterpret_cast<std::uintptr_t>(buffer.data());
  const std::uintptr_t from = (start + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t to = (start + buffer.capacity()) & ~(kHugePage - 1);
  if (to > from) {
    // Advice only: where it is not taken the pages are the usual ones.
    static_cast<void>(
        ::madvise(buffer.data() + (from - start), to - from, MADV_HUGEPAGE));
  }
#endif
}

bool readFileBytes(int descriptor, std::uint64_t size, bool mayMap,
                   FileBytes& bytes) {
  bytes.release();
  bytes.stoppedAtNul_ = false;
  // A hole reads as NUL bytes: such a file is read only up to its first
  // NUL, never mapped whole, nor given room for all of its size.
  const off_t hole = ::lseek(descriptor, 0, SEEK_HOLE);
  bool whole = hole < 0 || static_cast<std::uint64_t>(hole) >= size;
  static_cast<void>(::lseek(descriptor, 0, SEEK_SET));
  // Nor is one that starts with zeros written out.
  if (whole && size >= kMapThreshold) {
    char head[65536];
    const ssize_t count = ::pread(descriptor, head, sizeof head, 0);
    if (count > 0 &&
        std::memchr(head, 0, static_cast<std::size_t>(count)) != nullptr) {
      whole = false;
    }
  }
  const bool large = whole && size >= kMapThreshold && size <= SIZE_MAX / 2;
  if (mayMap && large) {
    const Mapping mapping = mapFile(descriptor, static_cast<std::size_t>(size));
    if (mapping.bytes != nullptr) {
      bytes.mapped_ = mapping.bytes;
      bytes.mappedSize_ = static_cast<std::size_t>(size);
      bytes.slot_ = mapping.slot;
      bytes.watch_ = mapping.watch;
      return true;
    }
  }
  std::string& copy = bytes.copy();
  if (large) reserveForText(copy, static_cast<std::size_t>(size) + 1);
  // At most a chunk ahead, so a file refused at an early NUL costs little;
  // +1 sees growth at once.
  copy.resize(
      static_cast<std::size_t>(std::min<std::uint64_t>(size, 1u << 20)) + 1);
  if (!readAll(descriptor, copy, bytes.stoppedAtNul_)) return false;
  return bytes.stoppedAtNul_ || copy.size() >= size;
}

}  // namespace tagfmt
