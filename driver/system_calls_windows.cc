// The file job's system calls on Windows (system_calls.h), through the Win32
// API. File names are UTF-8 inside the tool and UTF-16 at these calls.
// Win32 opens nothing relative to an open folder: each call names the file
// by the path the system gives for the held folder handle now, and checks
// that what it opened lies in that folder. Every call that fails sets errno
// from GetLastError, so the policy reads the same reasons on both platforms;
// what Windows cannot do fails with the errno system_calls.h documents.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which these need.
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <utility>

#include "driver/file_bytes.h"
#include "driver/platform.h"
#include "driver/platform_io.h"
#include "driver/system_calls.h"

namespace tagfmt {

namespace {

HANDLE handleOf(NativeHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// INVALID_HANDLE_VALUE is kNoHandle.
NativeHandle native(HANDLE handle) {
  return reinterpret_cast<NativeHandle>(handle);
}

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kChunk = DWORD{1} << 30;
// ERROR_DISK_QUOTA_EXCEEDED, which MinGW-w64's headers lack.
constexpr DWORD kDiskQuotaExceeded = 1295;

// The errno that says what each GetLastError code says, in the words the
// C library gives it ("No such file or directory", "Permission denied"...).
constexpr struct {
  DWORD error;
  int value;
} kErrnoOfError[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_INVALID_NAME, ENOENT},
    {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_BAD_NETPATH, ENOENT},
    {ERROR_BAD_NET_NAME, ENOENT},
    {ERROR_DELETE_PENDING, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_SHARING_VIOLATION, EACCES},
    {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_NETWORK_ACCESS_DENIED, EACCES},
    {ERROR_PRIVILEGE_NOT_HELD, EACCES},
    {ERROR_CANNOT_MAKE, EACCES},
    {ERROR_DRIVE_LOCKED, EACCES},
    {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {kDiskQuotaExceeded, ENOSPC},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_NOT_ENOUGH_QUOTA, ENOMEM},
    {ERROR_INVALID_HANDLE, EBADF},
    {ERROR_DIRECTORY, ENOTDIR},
    {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
    {ERROR_FILE_TOO_LARGE, EFBIG},
    {ERROR_BUSY, EBUSY},
    {ERROR_PATH_BUSY, EBUSY},
    {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_NO_DATA, EPIPE},
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_INVALID_FUNCTION, ENOSYS},
    {ERROR_NOT_SUPPORTED, ENOSYS},
    {ERROR_CALL_NOT_IMPLEMENTED, ENOSYS},
};

// Any other code is an I/O error.
int errnoOf(DWORD error) {
  for (const auto& known : kErrnoOfError) {
    if (known.error == error) return known.value;
  }
  return EIO;
}

// Sets errno from the last error; for the failing return of each call.
void setErrno() { errno = errnoOf(::GetLastError()); }

// True when the last error says the volume or the system cannot do it.
bool cannotDo(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
         error == ERROR_CALL_NOT_IMPLEMENTED ||
         error == ERROR_INVALID_PARAMETER;
}

// The name as the file calls take it; empty for a name they cannot take
// (not UTF-8, or holding a NUL), which then fails like a missing file.
std::wstring wideName(const std::string& name) {
  if (name.empty() || name.size() > 0x7fffffffu) return {};
  const int size = static_cast<int>(name.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS,
                                           name.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, name.data(), size,
                        wide.data(), length);
  // A NUL inside would silently shorten the name at the API.
  if (wide.find(L'\0') != std::wstring::npos) return {};
  return wide;
}

// The UTF-8 of `length` UTF-16 units; false for text that is not UTF-16
// (an unpaired surrogate), which no name the tool makes holds.
bool utf8Of(const wchar_t* wide, int length, std::string& name) {
  name.clear();
  if (length == 0) return true;
  const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide,
                                         length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return false;
  name.assign(static_cast<std::size_t>(size), '\0');
  ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, length,
                        name.data(), size, nullptr, nullptr);
  return true;
}

std::string utf8Name(const wchar_t* wide) {
  std::string name;
  if (!utf8Of(wide, static_cast<int>(std::wcslen(wide)), name)) {
    // An argument that is not UTF-16 keeps what can be said of it.
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 1) return {};
    name.assign(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, name.data(), size, nullptr,
                          nullptr);
    name.pop_back();  // the terminating NUL
  }
  return name;
}

// The path the system names the open file or folder by now ("\\?\C:\dir"),
// without a final separator; empty, with errno set, when it cannot say.
std::wstring finalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        handle, path.data(), static_cast<DWORD>(path.size()),
        FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0) {
      setErrno();
      return {};
    }
    if (length < path.size()) {
      path.resize(length);
      if (!path.empty() && path.back() == L'\\') path.pop_back();
      return path;
    }
    path.resize(length + 1);
  }
  errno = ENAMETOOLONG;
  return {};
}

bool sameName(const std::wstring& a, std::size_t aLength,
              const std::wstring& b) {
  return aLength <= 0x7fffffffu && b.size() <= 0x7fffffffu &&
         ::CompareStringOrdinal(a.c_str(), static_cast<int>(aLength), b.c_str(),
                                static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// True when the open `handle` lies directly in the folder at `folder`.
bool liesIn(HANDLE handle, const std::wstring& folder) {
  const std::wstring path = finalPath(handle);
  const std::size_t separator = path.find_last_of(L'\\');
  return separator != std::wstring::npos && sameName(path, separator, folder);
}

// A final name within a folder: never a path, a stream or "." or "..".
bool isLeaf(const std::string& leaf) {
  return !leaf.empty() && leaf != "." && leaf != ".." &&
         leaf.find_first_of(std::string_view("/\\:\0", 4)) == std::string::npos;
}

// The path of `leaf` in the folder `folder`, which `folderPath` receives;
// empty, with errno set, when there is none.
std::wstring pathIn(NativeHandle folder, const std::string& leaf,
                    std::wstring& folderPath) {
  const std::wstring wide = isLeaf(leaf) ? wideName(leaf) : std::wstring();
  if (wide.empty()) {
    errno = ENOENT;
    return {};
  }
  folderPath = finalPath(handleOf(folder));
  if (folderPath.empty()) return {};
  return folderPath + L"\\" + wide;
}

// Removes the name of the open `handle`, which has DELETE access: at once
// where the volume allows, else when its last handle closes.
bool deleteByHandle(HANDLE handle) {
  FILE_DISPOSITION_INFO_EX now{};
  now.Flags = FILE_DISPOSITION_FLAG_DELETE |
              FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
              0x10;  // FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE
  constexpr auto kDispositionEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
  if (::SetFileInformationByHandle(handle, kDispositionEx, &now, sizeof now)) {
    return true;
  }
  if (!cannotDo(::GetLastError())) {
    setErrno();
    return false;
  }
  FILE_DISPOSITION_INFO later{};
  later.DeleteFile = TRUE;
  if (::SetFileInformationByHandle(handle, FileDispositionInfo, &later,
                                   sizeof later)) {
    return true;
  }
  setErrno();
  return false;
}

// Opens `leaf` in `folder` and checks that what was opened lies there, or,
// for a link followed to wherever it points, that the folder kept its path
// meanwhile. A file this made is removed again when the check fails.
HANDLE openAt(NativeHandle folder, const std::string& leaf, DWORD access,
              DWORD share, DWORD disposition, DWORD flags,
              SECURITY_ATTRIBUTES* security = nullptr) {
  std::wstring folderPath;
  const std::wstring path = pathIn(folder, leaf, folderPath);
  if (path.empty()) return INVALID_HANDLE_VALUE;
  const HANDLE opened = ::CreateFileW(path.c_str(), access, share, security,
                                      disposition, flags, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    setErrno();
    return INVALID_HANDLE_VALUE;
  }
  // A pipe or a device has no place in a folder to check: it is no file,
  // and is refused as such.
  if (::GetFileType(opened) != FILE_TYPE_DISK) return opened;
  const bool follows = (flags & FILE_FLAG_OPEN_REPARSE_POINT) == 0;
  const std::wstring folderNow = finalPath(handleOf(folder));
  if (sameName(folderNow, folderNow.size(), folderPath) &&
      (follows || liesIn(opened, folderPath))) {
    return opened;
  }
  if (disposition == CREATE_NEW) static_cast<void>(deleteByHandle(opened));
  ::CloseHandle(opened);
  errno = ENOENT;
  return INVALID_HANDLE_VALUE;
}

// Owners are security identifiers here: each one seen has a number, the
// same for the same SID within the run; one that cannot be learned has a
// number of its own, which matches no other owner.
std::mutex ownersGuard;
std::vector<std::string> owners;
std::uint32_t nextUnknownOwner = 0x80000000u;

std::uint32_t ownerNumber(const void* sid, DWORD length) {
  const std::lock_guard<std::mutex> lock(ownersGuard);
  if (sid == nullptr || length == 0) return nextUnknownOwner++;
  const std::string key(static_cast<const char*>(sid), length);
  const auto found = std::find(owners.begin(), owners.end(), key);
  if (found != owners.end()) {
    return static_cast<std::uint32_t>(found - owners.begin()) + 1;
  }
  owners.push_back(key);
  return static_cast<std::uint32_t>(owners.size());
}

std::uint32_t ownerOf(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                        &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return ownerNumber(nullptr, 0);
  }
  const std::uint32_t number = ownerNumber(owner, ::GetLengthSid(owner));
  ::LocalFree(descriptor);
  return number;
}

// The SID of the user running the tool, in `buffer`; nullptr when unknown.
PSID userSid(char (&buffer)[256]) {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return nullptr;
  }
  DWORD length = 0;
  const bool known = ::GetTokenInformation(token, TokenUser, buffer,
                                           sizeof buffer, &length) != 0;
  ::CloseHandle(token);
  return known ? reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid : nullptr;
}

// 100-nanosecond steps since 1601, as nanoseconds since 1970 (which hold
// the times of the next two centuries in 64 bits).
std::int64_t nanoseconds(LARGE_INTEGER time) {
  constexpr std::int64_t kSteps1601To1970 = 116444736000000000;
  return (time.QuadPart - kSteps1601To1970) * 100;
}

// True when the attributes and tag name a symbolic link or a junction.
bool isLinkTag(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         IsReparseTagNameSurrogate(tag);
}

bool attributesOf(HANDLE handle, FILE_ATTRIBUTE_TAG_INFO& tag) {
  if (::GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag,
                                     sizeof tag)) {
    return true;
  }
  setErrno();
  return false;
}

// Calls `each` with every entry of the folder, "." and ".." too, through a
// handle of its own: a handle's listing may be the one it first read.
// False, with errno set, when the folder cannot be listed.
template <typename Each>
bool forEachEntry(NativeHandle folder, const Each& each) {
  const HANDLE listing =
      ::ReOpenFile(handleOf(folder), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                   kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
  if (listing == INVALID_HANDLE_VALUE) {
    setErrno();
    return false;
  }
  std::vector<char> buffer(64 * 1024);
  bool listed = true;
  for (auto kind = FileIdBothDirectoryRestartInfo; listed;
       kind = FileIdBothDirectoryInfo) {
    if (!::GetFileInformationByHandleEx(listing, kind, buffer.data(),
                                        static_cast<DWORD>(buffer.size()))) {
      // A folder with no entries at all (a FAT root) has none to give.
      const DWORD error = ::GetLastError();
      listed = error == ERROR_NO_MORE_FILES ||
               (error == ERROR_FILE_NOT_FOUND &&
                kind == FileIdBothDirectoryRestartInfo);
      if (!listed) setErrno();
      break;
    }
    for (const char* at = buffer.data();;) {
      const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(at);
      each(*entry);
      if (entry->NextEntryOffset == 0) break;
      at += entry->NextEntryOffset;
    }
  }
  const int error = errno;
  ::CloseHandle(listing);
  errno = error;
  return listed;
}

// The file's current names in the folder at `folderPath` that `handle`
// opened: the one the system gives first, then those the folder lists
// with the file's index.
std::vector<std::wstring> namesOf(HANDLE handle, NativeHandle folder,
                                  const std::wstring& folderPath,
                                  std::uint64_t index) {
  std::vector<std::wstring> names;
  const std::wstring path = finalPath(handle);
  const std::size_t separator = path.find_last_of(L'\\');
  if (separator != std::wstring::npos &&
      sameName(path, separator, folderPath)) {
    names.push_back(path.substr(separator + 1));
  }
  static_cast<void>(
      forEachEntry(folder, [&](const FILE_ID_BOTH_DIR_INFO& entry) {
        if (static_cast<std::uint64_t>(entry.FileId.QuadPart) == index) {
          names.emplace_back(entry.FileName, entry.FileNameLength / 2);
        }
      }));
  return names;
}

// Termination (Ctrl+C, Ctrl+Break, the console's close) waits while held;
// one that came meanwhile ends the run when the last hold goes.
SRWLOCK holdGuard = SRWLOCK_INIT;
int signalHolds = 0;
bool signalCame = false;

BOOL WINAPI holdControlEvent(DWORD event) {
  ::AcquireSRWLockExclusive(&holdGuard);
  const bool held = signalHolds > 0;
  if (held) signalCame = true;
  ::ReleaseSRWLockExclusive(&holdGuard);
  if (!held) return FALSE;  // the default handler ends the run now
  // The system ends the process once this returns from a close or a
  // shutdown: it waits here instead, and the last hold ends the run.
  if (event == CTRL_CLOSE_EVENT || event == CTRL_SHUTDOWN_EVENT) {
    ::Sleep(INFINITE);
  }
  return TRUE;
}

// The handles whose file this process locked, which hold the lock until
// they close: a second lock of the same handle is no conflict.
std::mutex handlesGuard;
std::set<HANDLE> lockedHandles;
// The files this process made (createIn), by the handle that made them,
// with their volume and index: a rename of one goes through that handle,
// which then knows its new name (wine's handles know only names they
// were given themselves).
std::map<HANDLE, std::pair<std::uint64_t, std::uint64_t>> madeFiles;

// The handle that made the file `identity` names, or `other` when none did.
HANDLE makerOf(const FileIdentity& identity, HANDLE other) {
  const std::lock_guard<std::mutex> lock(handlesGuard);
  for (const auto& [handle, made] : madeFiles) {
    if (made.first == identity.device && made.second == identity.inode) {
      return handle;
    }
  }
  return other;
}

// The byte locked to claim a file, far past any end a text file reaches:
// Windows' locks stop others' reads and writes of what they cover, even
// this run's own through another handle, and this one covers nothing.
constexpr std::uint64_t kLockOffset = std::uint64_t{1} << 62;

}  // namespace

bool readAt(NativeHandle file, char* buffer, std::size_t size,
            std::uint64_t offset) {
  std::size_t got = 0;
  while (got < size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + got);
    at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
    const auto chunk =
        static_cast<DWORD>(std::min<std::size_t>(size - got, kChunk));
    DWORD n = 0;
    if (!::ReadFile(handleOf(file), buffer + got, chunk, &n, &at)) {
      // The end of the file is no error, as a read there returns nothing.
      if (::GetLastError() != ERROR_HANDLE_EOF) setErrno();
      return false;
    }
    if (n == 0) return false;
    got += n;
  }
  return true;
}

bool writeAt(NativeHandle file, std::string_view bytes, std::uint64_t offset) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + done);
    at.OffsetHigh = static_cast<DWORD>((offset + done) >> 32);
    const auto chunk =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, kChunk));
    DWORD written = 0;
    if (!::WriteFile(handleOf(file), bytes.data() + done, chunk, &written,
                     &at)) {
      setErrno();
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    done += written;
  }
  return true;
}

bool cutTo(NativeHandle file, std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (::SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end,
                                   sizeof end)) {
    return true;
  }
  setErrno();
  return false;
}

bool lengthOf(NativeHandle file, std::uint64_t& size) {
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(handleOf(file), &length)) {
    setErrno();
    return false;
  }
  size = static_cast<std::uint64_t>(length.QuadPart);
  return true;
}

// In the file times' units and epoch.
std::int64_t clockNs() {
  FILETIME now;
  ::GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER current;
  current.LowPart = now.dwLowDateTime;
  current.HighPart = static_cast<LONG>(now.dwHighDateTime);
  return nanoseconds(current);
}

// Windows has no file-size limit signal.
void ignoreFileSizeLimit() {}

std::string_view pathSeparators() { return "/\\"; }

// main's argv is in the ANSI code page, which cannot hold every file name.
std::vector<std::string> programArguments(int argumentCount, char** arguments) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {arguments, arguments + argumentCount};
  std::vector<std::string> words;
  words.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) words.push_back(utf8Name(wide[i]));
  ::LocalFree(static_cast<HLOCAL>(wide));
  return words;
}

void useBinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

// A file's bytes are always a copy here (file_bytes_copy.cc), read until
// end of file or up to and with the first NUL byte, as on POSIX. The handle
// comes as an int: Windows' handles keep their meaning in 32 bits.
bool readFileBytes(int descriptor, std::uint64_t size, bool /*mayMap*/,
                   FileBytes& bytes) {
  const NativeHandle file = descriptor;
  std::string& copy = bytes.copy();
  copy.assign(static_cast<std::size_t>(
                  std::min<std::uint64_t>(size + 1, std::uint64_t{1} << 30)),
              '\0');
  std::size_t got = 0;
  for (;;) {
    if (got == copy.size()) copy.resize(copy.size() + 65536);
    const auto chunk =
        static_cast<DWORD>(std::min<std::size_t>(copy.size() - got, kChunk));
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(got);
    at.OffsetHigh = static_cast<DWORD>(static_cast<std::uint64_t>(got) >> 32);
    DWORD n = 0;
    if (!::ReadFile(handleOf(file), copy.data() + got, chunk, &n, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      setErrno();
      copy.clear();
      return false;
    }
    if (n == 0) break;
    const void* const zero = std::memchr(copy.data() + got, '\0', n);
    got += n;
    if (zero != nullptr) {
      got = static_cast<std::size_t>(static_cast<const char*>(zero) -
                                     copy.data()) +
            1;
      bytes.stoppedAtNul_ = true;
      break;
    }
  }
  copy.resize(got);
  return bytes.stoppedAtNul_ || copy.size() >= size;
}

namespace sys {

NativeHandle openFolder(const std::string& path) {
  const std::wstring wide = wideName(path.empty() ? "." : path);
  if (wide.empty()) {
    errno = ENOENT;
    return kNoHandle;
  }
  // Held without delete sharing, so the folder cannot be moved meanwhile.
  const HANDLE folder = ::CreateFileW(
      wide.c_str(),
      FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (folder == INVALID_HANDLE_VALUE) {
    setErrno();
    return kNoHandle;
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  const bool known = attributesOf(folder, tag);
  if (known && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return native(folder);
  }
  if (known) errno = ENOTDIR;
  const int error = errno;
  ::CloseHandle(folder);
  errno = error;
  return kNoHandle;
}

namespace {

// A reparse point that is no link (a cloud or a deduplicated file) is the
// file itself, its bytes given by a filter: `opened` as itself, it is opened
// again through the filter, and kept only when that is the same file.
HANDLE throughFilter(HANDLE opened, NativeHandle folder,
                     const std::string& leaf, DWORD access, DWORD flags) {
  const HANDLE through =
      openAt(folder, leaf, access, kShareAll, OPEN_EXISTING, flags);
  BY_HANDLE_FILE_INFORMATION was;
  BY_HANDLE_FILE_INFORMATION now;
  const bool same = through != INVALID_HANDLE_VALUE &&
                    ::GetFileInformationByHandle(opened, &was) &&
                    ::GetFileInformationByHandle(through, &now) &&
                    was.dwVolumeSerialNumber == now.dwVolumeSerialNumber &&
                    was.nFileIndexHigh == now.nFileIndexHigh &&
                    was.nFileIndexLow == now.nFileIndexLow;
  ::CloseHandle(opened);
  if (same) return through;
  if (through != INVALID_HANDLE_VALUE) {
    ::CloseHandle(through);
    errno = ENOENT;  // the name was given to another file meanwhile
  }
  return INVALID_HANDLE_VALUE;
}

}  // namespace

NativeHandle openIn(NativeHandle folder, const std::string& leaf, OpenFor mode,
                    bool followLink) {
  const bool reading = mode == OpenFor::kRead;
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (reading) flags |= FILE_FLAG_SEQUENTIAL_SCAN;
  if (!followLink) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  const HANDLE opened =
      openAt(folder, leaf, reading ? GENERIC_READ : GENERIC_WRITE, kShareAll,
             OPEN_EXISTING, flags);
  if (opened == INVALID_HANDLE_VALUE) return kNoHandle;
  if (::GetFileType(opened) != FILE_TYPE_DISK) return native(opened);
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!attributesOf(opened, tag)) {
    ::CloseHandle(opened);
    return kNoHandle;
  }
  const bool link = isLinkTag(tag.FileAttributes, tag.ReparseTag);
  const bool folderThere = (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((link && !followLink) || (folderThere && !reading)) {
    ::CloseHandle(opened);
    errno = link && !followLink ? ELOOP : EISDIR;
    return kNoHandle;
  }
  if (followLink || link ||
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return native(opened);
  }
  return native(throughFilter(opened, folder, leaf,
                              reading ? GENERIC_READ : GENERIC_WRITE,
                              flags & ~DWORD{FILE_FLAG_OPEN_REPARSE_POINT}));
}

namespace {

NativeHandle reopen(NativeHandle file, DWORD access) {
  // The job's file is never a link itself (openIn), so nothing is followed.
  const HANDLE opened = ::ReOpenFile(handleOf(file), access, kShareAll, 0);
  if (opened != INVALID_HANDLE_VALUE) return native(opened);
  const DWORD error = ::GetLastError();
  errno = error == ERROR_CALL_NOT_IMPLEMENTED || error == ERROR_NOT_SUPPORTED
              ? ENOSYS
              : errnoOf(error);
  return kNoHandle;
}

}  // namespace

// ReOpenFile opens the very file the handle holds, through no name.
NativeHandle reopenForWriting(NativeHandle file) {
  return reopen(file, GENERIC_WRITE);
}

NativeHandle reopenForReading(NativeHandle file) {
  return reopen(file, GENERIC_READ);
}

NativeHandle createIn(NativeHandle folder, const std::string& leaf) {
  // Made with room in its access rules for the user running the tool alone,
  // so that no one opens it before it has the page's own rules.
  char userBuffer[256];
  const PSID user = userSid(userBuffer);
  alignas(ACL) char aclBuffer[256];
  auto* rules = reinterpret_cast<PACL>(aclBuffer);
  SECURITY_DESCRIPTOR descriptor;
  if (user == nullptr ||
      !::InitializeAcl(rules, sizeof aclBuffer, ACL_REVISION) ||
      !::AddAccessAllowedAce(rules, ACL_REVISION, FILE_ALL_ACCESS, user) ||
      !::InitializeSecurityDescriptor(&descriptor,
                                      SECURITY_DESCRIPTOR_REVISION) ||
      !::SetSecurityDescriptorDacl(&descriptor, TRUE, rules, FALSE) ||
      !::SetSecurityDescriptorControl(&descriptor, SE_DACL_PROTECTED,
                                      SE_DACL_PROTECTED)) {
    setErrno();
    return kNoHandle;
  }
  SECURITY_ATTRIBUTES security{sizeof security, &descriptor, FALSE};
  // Shared for reading and for renames, never for others' writes.
  const HANDLE made =
      openAt(folder, leaf,
             GENERIC_READ | GENERIC_WRITE | WRITE_DAC | READ_CONTROL | DELETE,
             FILE_SHARE_READ | FILE_SHARE_DELETE, CREATE_NEW,
             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, &security);
  NodeStat stat;
  if (made != INVALID_HANDLE_VALUE && statOf(native(made), stat)) {
    const std::lock_guard<std::mutex> lock(handlesGuard);
    madeFiles[made] = {stat.identity.device, stat.identity.inode};
  }
  return native(made);
}

// Windows makes no file without a name.
NativeHandle createUnnamed(NativeHandle /*folder*/) {
  errno = EOPNOTSUPP;
  return kNoHandle;
}

bool close(NativeHandle handle) {
  {
    const std::lock_guard<std::mutex> lock(handlesGuard);
    lockedHandles.erase(handleOf(handle));
    madeFiles.erase(handleOf(handle));
  }
  if (::CloseHandle(handleOf(handle))) return true;
  setErrno();
  return false;
}

namespace {

// What the handle's information says of its file.
void nodeFrom(const BY_HANDLE_FILE_INFORMATION& info,
              const FILE_BASIC_INFO& basic, const FILE_ATTRIBUTE_TAG_INFO& tag,
              NodeStat& stat) {
  FileIdentity& identity = stat.identity;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                   info.nFileIndexLow;
  identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                  info.nFileSizeLow;
  identity.modifiedNs = nanoseconds(basic.LastWriteTime);
  identity.changedNs = nanoseconds(basic.ChangeTime);
  identity.permissions =
      (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? 0444u : 0666u;
  stat.links = info.nNumberOfLinks;
  stat.kind = isLinkTag(tag.FileAttributes, tag.ReparseTag) ? NodeKind::kLink
              : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0
                  ? NodeKind::kFolder
                  : NodeKind::kFile;
}

}  // namespace

bool statOf(NativeHandle handle, NodeStat& stat) {
  const HANDLE open = handleOf(handle);
  stat = NodeStat{};
  // Consoles, pipes and devices are no files on disk.
  ::SetLastError(NO_ERROR);
  const DWORD type = ::GetFileType(open);
  if (type == FILE_TYPE_UNKNOWN && ::GetLastError() != NO_ERROR) {
    setErrno();
    return false;
  }
  if (type != FILE_TYPE_DISK) return true;
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandle(open, &info) ||
      !::GetFileInformationByHandleEx(open, FileBasicInfo, &basic,
                                      sizeof basic) ||
      !attributesOf(open, tag)) {
    setErrno();
    return false;
  }
  nodeFrom(info, basic, tag, stat);
  stat.identity.owner = ownerOf(open);
  return true;
}

bool statAt(NativeHandle folder, const std::string& leaf, bool followLink,
            NodeStat& stat) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS |
                      (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  HANDLE opened = openAt(folder, leaf, FILE_READ_ATTRIBUTES | READ_CONTROL,
                         kShareAll, OPEN_EXISTING, flags);
  if (opened == INVALID_HANDLE_VALUE && errno == EACCES) {
    // Its owner is then not known, and matches no one.
    opened = openAt(folder, leaf, FILE_READ_ATTRIBUTES, kShareAll,
                    OPEN_EXISTING, flags);
  }
  if (opened == INVALID_HANDLE_VALUE) return false;
  const bool known = statOf(native(opened), stat);
  const int error = errno;
  ::CloseHandle(opened);
  errno = error;
  return known;
}

bool readWhole(NativeHandle file, std::uint64_t size, bool mayMap,
               FileBytes& bytes) {
  return readFileBytes(static_cast<int>(file), size, mayMap, bytes);
}

bool claimRoom(NativeHandle file, std::uint64_t size,
               std::uint64_t /*oldSize*/) {
  // The length stays: only the room is reserved, and nothing to cut back
  // when there is none.
  FILE_ALLOCATION_INFO room{};
  room.AllocationSize.QuadPart = static_cast<LONGLONG>(size);
  if (size == 0 ||
      ::SetFileInformationByHandle(handleOf(file), FileAllocationInfo, &room,
                                   sizeof room)) {
    return true;
  }
  const DWORD error = ::GetLastError();
  if (error != ERROR_DISK_FULL && error != ERROR_HANDLE_DISK_FULL &&
      error != kDiskQuotaExceeded && error != ERROR_FILE_TOO_LARGE) {
    return true;
  }
  errno = errnoOf(error);
  return false;
}

void startWriteBack(NativeHandle /*file*/) {}

// Windows links a file only by a name it has: the one the handle gives, or
// one the folder lists for the file's index. The new name is checked to
// hold the file, and removed again when it does not.
bool linkUnnamed(NativeHandle file, NativeHandle folder,
                 const std::string& leaf) {
  NodeStat self;
  std::wstring folderPath;
  const std::wstring target = pathIn(folder, leaf, folderPath);
  if (target.empty() || !statOf(file, self)) return false;
  for (const std::wstring& name :
       namesOf(handleOf(file), folder, folderPath, self.identity.inode)) {
    std::string existing;
    NodeStat there;
    if (!utf8Of(name.data(), static_cast<int>(name.size()), existing) ||
        !statAt(folder, existing, false, there) ||
        !sameFile(there.identity, self.identity)) {
      continue;
    }
    if (!::CreateHardLinkW(target.c_str(), (folderPath + L"\\" + name).c_str(),
                           nullptr)) {
      const DWORD error = ::GetLastError();
      // A volume without links (FAT) refuses, as Linux's vfat does.
      errno = cannotDo(error) ? EPERM : errnoOf(error);
      return false;
    }
    NodeStat made;
    if (statAt(folder, leaf, false, made) &&
        sameFile(made.identity, self.identity)) {
      return true;
    }
    // The name was another file's by then: the new link goes.
    static_cast<void>(removeName(folder, leaf));
    errno = EAGAIN;
    return false;
  }
  errno = ENOENT;
  return false;
}

namespace {

// Renames `from` to `to` in the folder: the name `from` is opened (a link
// there, not what it points at) and the handle renamed.
bool rename(NativeHandle folder, const std::string& from, const std::string& to,
            bool replace) {
  std::wstring folderPath;
  const std::wstring target = pathIn(folder, to, folderPath);
  if (target.empty()) return false;
  const HANDLE moved = openAt(
      folder, from, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE, kShareAll,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (moved == INVALID_HANDLE_VALUE) return false;
  const std::size_t size =
      sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t);
  std::vector<char> buffer(size, '\0');
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  info->ReplaceIfExists = replace ? TRUE : FALSE;
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::memcpy(info->FileName, target.c_str(), info->FileNameLength);
  NodeStat named;
  const HANDLE renaming =
      statOf(native(moved), named) ? makerOf(named.identity, moved) : moved;
  const bool renamed =
      ::SetFileInformationByHandle(renaming, FileRenameInfo, info,
                                   static_cast<DWORD>(size)) != 0;
  const DWORD error = ::GetLastError();
  ::CloseHandle(moved);
  if (renamed) return true;
  // What rename(2) says of a folder in the way.
  NodeStat there;
  if (error == ERROR_ACCESS_DENIED && statAt(folder, to, false, there) &&
      there.kind == NodeKind::kFolder) {
    errno = replace ? EISDIR : EEXIST;
  } else {
    errno = errnoOf(error);
  }
  return false;
}

}  // namespace

bool renameOver(NativeHandle folder, const std::string& from,
                const std::string& to) {
  return rename(folder, from, to, true);
}

bool renameNew(NativeHandle folder, const std::string& from,
               const std::string& to) {
  return rename(folder, from, to, false);
}

// Windows swaps no two names in one step.
bool swapNames(NativeHandle /*folder*/, const std::string& /*a*/,
               const std::string& /*b*/) {
  errno = ENOSYS;
  return false;
}

bool removeName(NativeHandle folder, const std::string& leaf) {
  const HANDLE named = openAt(
      folder, leaf, DELETE | FILE_READ_ATTRIBUTES, kShareAll, OPEN_EXISTING,
      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
  if (named == INVALID_HANDLE_VALUE) return false;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  bool removed = attributesOf(named, tag);
  if (removed && (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
      !isLinkTag(tag.FileAttributes, tag.ReparseTag)) {
    errno = EISDIR;
    removed = false;
  }
  removed = removed && deleteByHandle(named);
  const int error = errno;
  ::CloseHandle(named);
  errno = error;
  return removed;
}

bool listNames(NativeHandle folder, std::vector<std::string>& names) {
  return forEachEntry(folder, [&](const FILE_ID_BOTH_DIR_INFO& entry) {
    std::string name;
    // A name that is not UTF-16 is no name the tool made.
    if (utf8Of(entry.FileName, static_cast<int>(entry.FileNameLength / 2),
               name) &&
        !name.empty() && name != "." && name != "..") {
      names.push_back(std::move(name));
    }
  });
}

bool lockFile(NativeHandle file) {
  const std::lock_guard<std::mutex> lock(handlesGuard);
  if (lockedHandles.contains(handleOf(file))) return true;
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(kLockOffset);
  at.OffsetHigh = static_cast<DWORD>(kLockOffset >> 32);
  if (!::LockFileEx(handleOf(file),
                    LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1,
                    0, &at)) {
    const DWORD error = ::GetLastError();
    errno = error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING
                ? EWOULDBLOCK
                : errnoOf(error);
    return false;
  }
  lockedHandles.insert(handleOf(file));
  return true;
}

bool syncFile(NativeHandle file) {
  if (::FlushFileBuffers(handleOf(file))) return true;
  setErrno();
  return false;
}

// Windows has no flush of a whole volume short of administrator rights.
bool syncFileSystem(NativeHandle /*file*/) {
  errno = ENOSYS;
  return false;
}

// The folder's names are flushed through a handle of it that may write;
// where the volume keeps no such flush, its journal has the names.
bool syncNames(NativeHandle folder) {
  const HANDLE writable = ::ReOpenFile(handleOf(folder), GENERIC_WRITE,
                                       kShareAll, FILE_FLAG_BACKUP_SEMANTICS);
  if (writable == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED || cannotDo(error)) return true;
    errno = errnoOf(error);
    return false;
  }
  const bool flushed = ::FlushFileBuffers(writable) != 0;
  const DWORD error = ::GetLastError();
  ::CloseHandle(writable);
  if (flushed || error == ERROR_ACCESS_DENIED || cannotDo(error)) return true;
  errno = errnoOf(error);
  return false;
}

// The owner stays the user running the tool; the access rules are the
// file's, so no one may read the copy who may not read the file.
bool giveOwnerAndPermissions(NativeHandle to, const FileIdentity& /*like*/,
                             NativeHandle from) {
  PACL rules = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD error = ::GetSecurityInfo(handleOf(from), SE_FILE_OBJECT,
                                  DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                  &rules, nullptr, &descriptor);
  if (error == ERROR_SUCCESS) {
    error = ::SetSecurityInfo(
        handleOf(to), SE_FILE_OBJECT,
        DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
        nullptr, nullptr, rules, nullptr);
    ::LocalFree(descriptor);
  }
  if (error == ERROR_SUCCESS) return true;
  errno = errnoOf(error);
  return false;
}

// The replace road is not taken here (swapsNames), so nothing is given.
bool giveWholeIdentity(NativeHandle /*to*/, NativeHandle /*from*/) {
  errno = ENOSYS;
  return false;
}

// A write strips no privilege bits from a file here.
bool readPrivileges(NativeHandle /*file*/, Privileges& privileges) {
  privileges = Privileges{};
  return true;
}

void restorePrivileges(NativeHandle /*file*/,
                       const Privileges& /*privileges*/) {}

bool hasFileFlags(NativeHandle /*file*/) { return false; }

// No name swap, no unnamed file: every file takes the in-place road.
bool swapsNames(NativeHandle /*folder*/) { return false; }

bool copiesUp(NativeHandle /*folder*/) { return false; }

std::uint32_t runningUser() {
  static const std::uint32_t user = [] {
    char buffer[256];
    const PSID sid = userSid(buffer);
    return sid == nullptr ? ownerNumber(nullptr, 0)
                          : ownerNumber(sid, ::GetLengthSid(sid));
  }();
  return user;
}

unsigned processId() { return ::GetCurrentProcessId(); }

void holdSignals() {
  static const bool installed =
      ::SetConsoleCtrlHandler(holdControlEvent, TRUE) != 0;
  static_cast<void>(installed);
  ::AcquireSRWLockExclusive(&holdGuard);
  ++signalHolds;
  ::ReleaseSRWLockExclusive(&holdGuard);
}

void releaseSignals() {
  ::AcquireSRWLockExclusive(&holdGuard);
  const bool end = --signalHolds == 0 && signalCame;
  ::ReleaseSRWLockExclusive(&holdGuard);
  if (end) {
    // What was said so far reaches the user before the run ends.
    std::fflush(stdout);
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
  }
}

bool signalPending() {
  ::AcquireSRWLockExclusive(&holdGuard);
  const bool came = signalCame;
  ::ReleaseSRWLockExclusive(&holdGuard);
  return came;
}

}  // namespace sys

}  // namespace tagfmt
