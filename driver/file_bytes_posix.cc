// Reading a file's bytes on POSIX systems: a copy for small files, a mapping
// or a copy on huge pages for large ones, and the bus-error handler that
// keeps a mapping of a file cut short from ending the program.
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
#include <string_view>

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

bool hugePagesOffered() {
  static const bool offered = [] {
    const int fd = ::open("/sys/kernel/mm/transparent_hugepage/enabled",
                          O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char setting[128] = {};
    const ssize_t n = ::read(fd, setting, sizeof setting - 1);
    ::close(fd);
    const std::string_view text(setting,
                                n > 0 ? static_cast<std::size_t>(n) : 0);
    return text.find("[always]") != std::string_view::npos ||
           text.find("[madvise]") != std::string_view::npos;
  }();
  return offered;
}

namespace {

// Memory of its own that a large file was read into.
struct Region {
  char* bytes = nullptr;  // nullptr when no such memory was to be had
  std::size_t room = 0;
  std::size_t read = 0;
  bool failed = false;  // the file could not be read
};

// Reads a large file whole into memory of its own on huge pages: the read
// faults in a page per 2 MiB, and the pass then walks memory already
// touched, where a mapping of the file is slow to touch the first time.
Region readIntoHugePages(int descriptor, std::size_t size) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  Region region;
  if (size > SIZE_MAX - 2 * kHugePage) return region;
  // One byte more than the size sees growth at once.
  const std::size_t room = (size + 1 + kHugePage - 1) & ~(kHugePage - 1);
  void* const at = ::mmap(nullptr, room, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (at == MAP_FAILED) return region;
#ifdef MADV_HUGEPAGE
  static_cast<void>(::madvise(at, room, MADV_HUGEPAGE));
#endif
  region.bytes = static_cast<char*>(at);
  region.room = room;
  while (region.read < room) {
    const ssize_t n =
        ::read(descriptor, region.bytes + region.read,
               std::min<std::size_t>(room - region.read, 1u << 20));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      region.failed = n < 0;
      break;
    }
    region.read += static_cast<std::size_t>(n);
  }
  if (region.failed) {
    const int error = errno;
    ::munmap(at, room);
    errno = error;
    region.bytes = nullptr;
  }
  return region;
}

}  // namespace

FileBytes::~FileBytes() { release(); }

std::string& FileBytes::copy() {
  release();
  return copy_;
}

bool FileBytes::intact() const {
  if (!mapped()) return true;
  if (slots[slot_].cut.load()) return false;
  struct stat st {};
  return ::fstat(watch_, &st) == 0 && st.st_size >= 0 &&
         static_cast<std::uint64_t>(st.st_size) >= mappedSize_;
}

void FileBytes::release() {
  std::string().swap(copy_);
  if (mapped_ == nullptr) return;
  if (watch_ >= 0) {
    MappingSlot& entry = slots[slot_];
    entry.start.store(0);
    ::munmap(const_cast<char*>(mapped_), room_);
    ::close(watch_);
    entry.taken.store(false);
  } else {
    ::munmap(const_cast<char*>(mapped_), room_);
  }
  mapped_ = nullptr;
  mappedSize_ = 0;
  room_ = 0;
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

namespace {

// False for a file that may hold NUL bytes ahead: a hole reads as NUL bytes,
// so such a file is read only up to its first NUL, never mapped or copied
// whole, nor given room for all of its size; nor is one that starts with
// zeros written out.
bool readsWhole(int descriptor, std::uint64_t size) {
  const off_t hole = ::lseek(descriptor, 0, SEEK_HOLE);
  bool whole = hole < 0 || static_cast<std::uint64_t>(hole) >= size;
  static_cast<void>(::lseek(descriptor, 0, SEEK_SET));
  if (whole && size >= kMapThreshold) {
    char head[65536];
    const ssize_t count = ::pread(descriptor, head, sizeof head, 0);
    if (count > 0 &&
        std::memchr(head, 0, static_cast<std::size_t>(count)) != nullptr) {
      whole = false;
    }
  }
  return whole;
}

}  // namespace

bool readFileBytes(int descriptor, std::uint64_t size, bool mayMap,
                   FileBytes& bytes) {
  bytes.release();
  bytes.stoppedAtNul_ = false;
  const bool whole = readsWhole(descriptor, size);
  const bool large = whole && size >= kMapThreshold && size <= SIZE_MAX / 2;
  if (large && size >= kHugeReadThreshold && hugePagesOffered()) {
    const Region region =
        readIntoHugePages(descriptor, static_cast<std::size_t>(size));
    if (region.failed) return false;
    if (region.bytes != nullptr) {
      bytes.mapped_ = region.bytes;
      bytes.mappedSize_ = region.read;
      bytes.room_ = region.room;
      return region.read >= size;
    }
  }
  if (mayMap && large) {
    const Mapping mapping = mapFile(descriptor, static_cast<std::size_t>(size));
    if (mapping.bytes != nullptr) {
      bytes.mapped_ = mapping.bytes;
      bytes.mappedSize_ = static_cast<std::size_t>(size);
      bytes.room_ = static_cast<std::size_t>(size);
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
