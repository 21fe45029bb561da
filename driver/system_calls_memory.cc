// The file job's system calls over an in-memory disk, for unit tests: each
// call can be made to fail, and a power cut keeps only what was synced.
#include "driver/system_calls_memory.h"

#include <algorithm>
#include <cerrno>
#include <map>

#include "driver/file_bytes.h"
#include "driver/platform_io.h"
#include "driver/system_calls.h"

namespace tagfmt {

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;
constexpr std::uint32_t kUser = 1000;
constexpr std::uint64_t kRoot = 1;

struct Node {
  sys::NodeKind kind = sys::NodeKind::kFile;
  std::string bytes, durableBytes;
  std::map<std::string, std::uint64_t> entries, durableEntries;
  std::string target;  // a link's
  unsigned permissions = 0644;
  std::uint32_t owner = kUser, group = kUser;
  std::uint64_t links = 0;
  std::int64_t modifiedNs = 0, changedNs = 0;
};

struct Hook {
  std::string call;
  int nth = 0;
  std::function<void()> action;
};

struct Disk {
  memory::DiskKind kind;
  std::map<std::uint64_t, Node> nodes;
  std::map<NativeHandle, std::uint64_t> handles;
  NativeHandle nextHandle = 100;
  std::uint64_t nextInode = kRoot;
  std::int64_t clock = 1'000'000 * kSecond;
  std::vector<std::string> calls;
  std::map<std::string, int> counts;
  Hook fault;
  int error = 0;
  std::vector<Hook> hooks;
  int signalHolds = 0;
  bool signalCame = false;
  std::map<std::uint64_t, NativeHandle>
      locks;  // inode to the handle holding it
};

Disk disk;

// Counts the call, runs what waits for it, and tells whether it fails.
bool fails(const char* call) {
  disk.calls.emplace_back(call);
  const int nth = ++disk.counts[call];
  for (const Hook& hook : disk.hooks) {
    if (hook.call == call && hook.nth == nth) hook.action();
  }
  if (disk.fault.call != call || disk.fault.nth != nth) return false;
  errno = disk.error;
  return true;
}

std::uint64_t makeNode(sys::NodeKind kind, unsigned permissions) {
  const std::uint64_t inode = disk.nextInode++;
  Node& node = disk.nodes[inode];
  node.kind = kind;
  node.permissions = permissions;
  node.modifiedNs = node.changedNs = disk.clock;
  return inode;
}

void touch(Node& node) { node.modifiedNs = node.changedNs = ++disk.clock; }

Node* nodeOf(NativeHandle handle) {
  const auto found = disk.handles.find(handle);
  if (found == disk.handles.end()) {
    errno = EBADF;
    return nullptr;
  }
  return &disk.nodes[found->second];
}

NativeHandle open(std::uint64_t inode) {
  disk.handles[disk.nextHandle] = inode;
  return disk.nextHandle++;
}

// The inode `leaf` names in the folder `folder`, or 0 (errno ENOENT).
std::uint64_t entry(std::uint64_t folder, const std::string& leaf) {
  Node& node = disk.nodes[folder];
  if (leaf.empty() || leaf == ".") return folder;
  const auto found = node.entries.find(leaf);
  if (found != node.entries.end()) return found->second;
  errno = ENOENT;
  return 0;
}

// Walks '/'-separated `path` from `from` (the root when it starts with '/'),
// following links in folder parts and, when `follow`, at the end too.
std::uint64_t walk(std::uint64_t from, const std::string& path, bool follow) {
  std::uint64_t at = path.starts_with('/') ? kRoot : from;
  std::size_t start = 0;
  while (at != 0 && start <= path.size()) {
    const std::size_t end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    const std::uint64_t parent = at;
    at = entry(at, part);
    const bool last = end == path.size();
    if (at != 0 && disk.nodes[at].kind == sys::NodeKind::kLink &&
        (!last || follow)) {
      at = walk(parent, disk.nodes[at].target, true);
    }
    start = end + 1;
  }
  return at;
}

// The folder part of `path` and its final name.
std::uint64_t folderOf(const std::string& path, std::string& leaf) {
  const std::size_t slash = path.find_last_of('/');
  leaf = slash == std::string::npos ? path : path.substr(slash + 1);
  if (slash == std::string::npos) return kRoot;
  return walk(kRoot, path.substr(0, slash), true);
}

void name(std::uint64_t folder, const std::string& leaf, std::uint64_t inode) {
  Node& parent = disk.nodes[folder];
  const auto old = parent.entries.find(leaf);
  if (old != parent.entries.end()) --disk.nodes[old->second].links;
  parent.entries[leaf] = inode;
  ++disk.nodes[inode].links;
  touch(parent);
}

void unname(std::uint64_t folder, const std::string& leaf) {
  Node& parent = disk.nodes[folder];
  --disk.nodes[parent.entries[leaf]].links;
  parent.entries.erase(leaf);
  touch(parent);
}

// Lays out `path` durably, making the folders on its way.
std::uint64_t put(const std::string& path, sys::NodeKind kind,
                  unsigned permissions) {
  std::uint64_t at = kRoot;
  std::size_t start = path.starts_with('/') ? 1 : 0;
  for (std::size_t slash; (slash = path.find('/', start)) != path.npos;) {
    const std::string part = path.substr(start, slash - start);
    if (!disk.nodes[at].entries.contains(part)) {
      name(at, part, makeNode(sys::NodeKind::kFolder, 0755));
    }
    at = disk.nodes[at].entries[part];
    start = slash + 1;
  }
  const std::uint64_t inode = makeNode(kind, permissions);
  name(at, path.substr(start), inode);
  for (auto& [number, node] : disk.nodes) node.durableEntries = node.entries;
  disk.nodes[inode].modifiedNs -= 3600 * kSecond;  // not written just now
  return inode;
}

bool folderAt(NativeHandle handle, std::uint64_t& folder) {
  const auto found = disk.handles.find(handle);
  if (found == disk.handles.end()) {
    errno = EBADF;
    return false;
  }
  folder = found->second;
  return true;
}

}  // namespace

namespace memory {

void reset(DiskKind kind) {
  disk = Disk{};
  disk.kind = kind;
  makeNode(sys::NodeKind::kFolder, 0755);
}

void putFile(const std::string& path, const std::string& bytes,
             unsigned permissions) {
  Node& node = disk.nodes[put(path, sys::NodeKind::kFile, permissions)];
  node.bytes = node.durableBytes = bytes;
}

void putLink(const std::string& path, const std::string& target) {
  disk.nodes[put(path, sys::NodeKind::kLink, 0777)].target = target;
}

void putHardLink(const std::string& path, const std::string& existing) {
  std::string leaf;
  const std::uint64_t inode = walk(kRoot, existing, false);
  const std::uint64_t folder = folderOf(path, leaf);
  if (inode == 0 || folder == 0) return;
  name(folder, leaf, inode);
  disk.nodes[folder].durableEntries = disk.nodes[folder].entries;
}

bool readFile(const std::string& path, std::string& bytes) {
  const std::uint64_t inode = walk(kRoot, path, false);
  if (inode == 0) return false;
  bytes = disk.nodes[inode].bytes;
  return true;
}

bool identityOf(const std::string& path, FileIdentity& identity) {
  const std::uint64_t inode = walk(kRoot, path, false);
  sys::NodeStat stat;
  if (inode == 0) return false;
  const NativeHandle handle = open(inode);
  sys::statOf(handle, stat);
  disk.handles.erase(handle);
  identity = stat.identity;
  return true;
}

std::vector<std::string> namesIn(const std::string& folder) {
  std::vector<std::string> names;
  const std::uint64_t inode = walk(kRoot, folder, true);
  if (inode == 0) return names;
  for (const auto& [leaf, number] : disk.nodes[inode].entries) {
    names.push_back(leaf);
  }
  return names;
}

void overwrite(const std::string& path, const std::string& bytes,
               bool keepTimes) {
  Node& node = disk.nodes[walk(kRoot, path, true)];
  node.bytes = bytes;
  if (!keepTimes) touch(node);
}

void failCall(const std::string& call, int nth, int error) {
  disk.fault = Hook{call, nth, {}};
  disk.error = error;
}

void beforeCall(const std::string& call, int nth,
                std::function<void()> action) {
  disk.hooks.push_back(Hook{call, nth, std::move(action)});
}

const std::vector<std::string>& calls() { return disk.calls; }

int signalHolds() { return disk.signalHolds; }

void sendSignal() { disk.signalCame = true; }

void powerCut() {
  for (auto& [number, node] : disk.nodes) {
    node.entries = node.durableEntries;
    if (node.bytes != node.durableBytes) {
      const std::size_t half = node.bytes.size() / 2;
      std::string torn = node.bytes.substr(0, half);
      if (node.durableBytes.size() > half) {
        torn += node.durableBytes.substr(half);
      }
      node.bytes = node.durableBytes = torn;
    }
    node.links = 0;
  }
  for (auto& [number, node] : disk.nodes) {
    for (const auto& [leaf, inode] : node.entries) ++disk.nodes[inode].links;
  }
  disk.handles.clear();
  disk.locks.clear();
  disk.signalHolds = 0;
}

}  // namespace memory

bool readAt(NativeHandle file, char* buffer, std::size_t size,
            std::uint64_t offset) {
  const Node* node = nodeOf(file);
  if (fails("readAt") || node == nullptr) return false;
  if (offset > node->bytes.size() || node->bytes.size() - offset < size) {
    return false;
  }
  std::copy_n(node->bytes.data() + offset, size, buffer);
  return true;
}

bool writeAt(NativeHandle file, std::string_view bytes, std::uint64_t offset) {
  Node* node = nodeOf(file);
  if (fails("writeAt") || node == nullptr) return false;
  if (node->bytes.size() < offset + bytes.size()) {
    node->bytes.resize(offset + bytes.size());
  }
  node->bytes.replace(offset, bytes.size(), bytes);
  touch(*node);
  return true;
}

bool cutTo(NativeHandle file, std::uint64_t size) {
  Node* node = nodeOf(file);
  if (fails("cutTo") || node == nullptr) return false;
  node->bytes.resize(size);
  touch(*node);
  return true;
}

bool lengthOf(NativeHandle file, std::uint64_t& size) {
  const Node* node = nodeOf(file);
  if (fails("lengthOf") || node == nullptr) return false;
  size = node->bytes.size();
  return true;
}

std::int64_t clockNs() { return disk.clock; }

void ignoreFileSizeLimit() {}

std::string_view pathSeparators() { return "/"; }

std::vector<std::string> programArguments(int argumentCount, char** arguments) {
  return {arguments, arguments + argumentCount};
}

void useBinaryStandardOutput() {}

// The copy a reader fills, up to and with the first NUL byte.
bool readFileBytes(int descriptor, std::uint64_t size, bool /*mayMap*/,
                   FileBytes& bytes) {
  const Node* node = nodeOf(descriptor);
  if (node == nullptr) return false;
  std::string& copy = bytes.copy();
  const std::size_t nul = node->bytes.find('\0');
  bytes.stoppedAtNul_ = nul != std::string::npos;
  copy = node->bytes.substr(0, bytes.stoppedAtNul_ ? nul + 1 : nul);
  return bytes.stoppedAtNul_ || copy.size() >= size;
}

namespace sys {

NativeHandle openFolder(const std::string& path) {
  if (fails("openFolder")) return kNoHandle;
  const std::uint64_t inode = walk(kRoot, path, true);
  if (inode == 0) return kNoHandle;
  if (disk.nodes[inode].kind != NodeKind::kFolder) {
    errno = ENOTDIR;
    return kNoHandle;
  }
  return open(inode);
}

NativeHandle openIn(NativeHandle folder, const std::string& leaf, OpenFor mode,
                    bool followLink) {
  std::uint64_t parent = 0;
  if (fails("openIn") || !folderAt(folder, parent)) return kNoHandle;
  std::uint64_t inode = entry(parent, leaf);
  if (inode == 0) return kNoHandle;
  if (disk.nodes[inode].kind == NodeKind::kLink) {
    if (!followLink) {
      errno = ELOOP;
      return kNoHandle;
    }
    inode = walk(parent, disk.nodes[inode].target, true);
    if (inode == 0) return kNoHandle;
  }
  if (mode == OpenFor::kWrite && disk.nodes[inode].kind == NodeKind::kFolder) {
    errno = EISDIR;
    return kNoHandle;
  }
  return open(inode);
}

NativeHandle reopenForWriting(NativeHandle file) {
  if (fails("reopenForWriting") || nodeOf(file) == nullptr) return kNoHandle;
  return open(disk.handles[file]);
}

NativeHandle reopenForReading(NativeHandle file) {
  if (fails("reopenForReading") || nodeOf(file) == nullptr) return kNoHandle;
  return open(disk.handles[file]);
}

NativeHandle createIn(NativeHandle folder, const std::string& leaf) {
  std::uint64_t parent = 0;
  if (fails("createIn") || !folderAt(folder, parent)) return kNoHandle;
  if (disk.nodes[parent].entries.contains(leaf)) {
    errno = EEXIST;
    return kNoHandle;
  }
  const std::uint64_t inode = makeNode(NodeKind::kFile, 0600);
  name(parent, leaf, inode);
  return open(inode);
}

NativeHandle createUnnamed(NativeHandle folder) {
  std::uint64_t parent = 0;
  if (fails("createUnnamed") || !folderAt(folder, parent)) return kNoHandle;
  if (!disk.kind.unnamedFiles) {
    errno = EOPNOTSUPP;
    return kNoHandle;
  }
  return open(makeNode(NodeKind::kFile, 0600));
}

bool close(NativeHandle handle) {
  const bool failed = fails("close");
  const auto held = disk.locks.find(disk.handles[handle]);
  if (held != disk.locks.end() && held->second == handle) {
    disk.locks.erase(held);
  }
  disk.handles.erase(handle);
  return !failed;
}

bool lockFile(NativeHandle file) {
  if (fails("lockFile") || nodeOf(file) == nullptr) return false;
  const auto [held, taken] = disk.locks.emplace(disk.handles[file], file);
  if (taken || held->second == file) return true;
  errno = EWOULDBLOCK;
  return false;
}

bool statOf(NativeHandle handle, NodeStat& stat) {
  const Node* node = nodeOf(handle);
  if (fails("statOf") || node == nullptr) return false;
  FileIdentity& identity = stat.identity;
  identity = FileIdentity{};
  identity.device = 1;
  identity.inode = disk.handles[handle];
  identity.size = node->bytes.size();
  identity.modifiedNs = node->modifiedNs;
  identity.changedNs = node->changedNs;
  identity.permissions = node->permissions;
  identity.owner = node->owner;
  identity.group = node->group;
  stat.kind = node->kind;
  stat.links = node->links;
  return true;
}

bool statAt(NativeHandle folder, const std::string& leaf, bool followLink,
            NodeStat& stat) {
  std::uint64_t parent = 0;
  if (fails("statAt") || !folderAt(folder, parent)) return false;
  std::uint64_t inode = entry(parent, leaf);
  if (inode != 0 && followLink && disk.nodes[inode].kind == NodeKind::kLink) {
    inode = walk(parent, disk.nodes[inode].target, true);
  }
  if (inode == 0) return false;
  const NativeHandle handle = open(inode);
  const bool known = statOf(handle, stat);
  disk.handles.erase(handle);
  return known;
}

bool readWhole(NativeHandle file, std::uint64_t size, bool mayMap,
               FileBytes& bytes) {
  if (fails("readWhole")) return false;
  return readFileBytes(static_cast<int>(file), size, mayMap, bytes);
}

bool claimRoom(NativeHandle file, std::uint64_t /*size*/,
               std::uint64_t /*oldSize*/) {
  return !fails("claimRoom") && nodeOf(file) != nullptr;
}

void startWriteBack(NativeHandle /*file*/) {}

bool linkUnnamed(NativeHandle file, NativeHandle folder,
                 const std::string& leaf) {
  std::uint64_t parent = 0;
  if (fails("linkUnnamed") || nodeOf(file) == nullptr ||
      !folderAt(folder, parent)) {
    return false;
  }
  if (disk.nodes[parent].entries.contains(leaf)) {
    errno = EEXIST;
    return false;
  }
  if (!disk.kind.hardLinks && nodeOf(file)->links > 0) {
    errno = EPERM;  // as vfat says
    return false;
  }
  name(parent, leaf, disk.handles[file]);
  return true;
}

// Renames `from` to `to` in the folder held by `folder`; `replace` allows a
// file already named `to` to be replaced.
bool rename(const char* call, NativeHandle folder, const std::string& from,
            const std::string& to, bool replace) {
  std::uint64_t parent = 0;
  if (fails(call) || !folderAt(folder, parent)) return false;
  const std::uint64_t moved = entry(parent, from);
  if (moved == 0) return false;
  const std::uint64_t there = entry(parent, to);
  if (there != 0 && (!replace || disk.nodes[there].kind == NodeKind::kFolder)) {
    errno = replace ? EISDIR : EEXIST;
    return false;
  }
  if (from == to) return true;
  name(parent, to, moved);
  unname(parent, from);
  return true;
}

bool renameOver(NativeHandle folder, const std::string& from,
                const std::string& to) {
  return rename("renameOver", folder, from, to, true);
}

bool renameNew(NativeHandle folder, const std::string& from,
               const std::string& to) {
  return rename("renameNew", folder, from, to, false);
}

bool swapNames(NativeHandle folder, const std::string& a,
               const std::string& b) {
  std::uint64_t parent = 0;
  if (fails("swapNames") || !folderAt(folder, parent)) return false;
  if (!disk.kind.swapsNames) {
    errno = EINVAL;
    return false;
  }
  const std::uint64_t first = entry(parent, a);
  const std::uint64_t second = first == 0 ? 0 : entry(parent, b);
  if (second == 0) return false;
  Node& node = disk.nodes[parent];
  node.entries[a] = second;
  node.entries[b] = first;
  touch(node);
  return true;
}

bool removeName(NativeHandle folder, const std::string& leaf) {
  std::uint64_t parent = 0;
  if (fails("removeName") || !folderAt(folder, parent)) return false;
  const std::uint64_t inode = entry(parent, leaf);
  if (inode == 0) return false;
  if (disk.nodes[inode].kind == NodeKind::kFolder) {
    errno = EISDIR;
    return false;
  }
  unname(parent, leaf);
  return true;
}

bool listNames(NativeHandle folder, std::vector<std::string>& names) {
  std::uint64_t parent = 0;
  if (fails("listNames") || !folderAt(folder, parent)) return false;
  for (const auto& [leaf, inode] : disk.nodes[parent].entries) {
    names.push_back(leaf);
  }
  return true;
}

bool syncFile(NativeHandle file) {
  Node* node = nodeOf(file);
  if (fails("syncFile") || node == nullptr) return false;
  node->durableBytes = node->bytes;
  return true;
}

bool syncFileSystem(NativeHandle file) {
  if (fails("syncFileSystem") || nodeOf(file) == nullptr) return false;
  for (auto& [number, node] : disk.nodes) {
    node.durableBytes = node.bytes;
    node.durableEntries = node.entries;
  }
  return true;
}

bool syncNames(NativeHandle folder) {
  Node* node = nodeOf(folder);
  if (fails("syncNames") || node == nullptr) return false;
  node->durableEntries = node->entries;
  return true;
}

bool giveOwnerAndPermissions(NativeHandle to, const FileIdentity& like,
                             NativeHandle /*from*/) {
  Node* node = nodeOf(to);
  if (fails("giveOwnerAndPermissions") || node == nullptr) return false;
  node->owner = like.owner;
  node->group = like.group;
  node->permissions = like.permissions;
  return true;
}

bool giveWholeIdentity(NativeHandle to, NativeHandle from) {
  Node* node = nodeOf(to);
  const Node* source = nodeOf(from);
  if (fails("giveWholeIdentity") || node == nullptr || source == nullptr) {
    return false;
  }
  node->owner = source->owner;
  node->group = source->group;
  node->permissions = source->permissions;
  return true;
}

bool readPrivileges(NativeHandle file, Privileges& privileges) {
  const Node* node = nodeOf(file);
  if (fails("readPrivileges") || node == nullptr) return false;
  privileges.mode = node->permissions;
  return true;
}

void restorePrivileges(NativeHandle file, const Privileges& privileges) {
  Node* node = nodeOf(file);
  if (node != nullptr) node->permissions = privileges.mode;
}

bool hasFileFlags(NativeHandle /*file*/) { return false; }

bool swapsNames(NativeHandle /*folder*/) { return disk.kind.swapsNames; }

bool copiesUp(NativeHandle /*folder*/) { return false; }

std::uint32_t runningUser() { return kUser; }

unsigned processId() { return 4242; }

void holdSignals() { ++disk.signalHolds; }

void releaseSignals() { --disk.signalHolds; }

bool signalPending() { return disk.signalCame; }

}  // namespace sys

}  // namespace tagfmt
