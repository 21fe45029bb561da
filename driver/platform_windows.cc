// The file job's operating-system calls on Windows, through the Win32 API.
// File names are UTF-8 inside the tool and UTF-16 at these calls.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After windows.h, which these need.
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "driver/platform.h"

namespace tagfmt {

namespace {

// Closes a handle when the scope ends, on every road out.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (valid()) ::CloseHandle(handle_);
  }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // Closes now and tells whether the close reported success.
  bool close() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return ::CloseHandle(handle) != 0;
  }

 private:
  HANDLE handle_;
};

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

std::string utf8Name(const wchar_t* wide) {
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (length <= 1) return {};
  std::string name(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, name.data(), length, nullptr,
                        nullptr);
  name.pop_back();  // the terminating NUL
  return name;
}

constexpr DWORD kShareAll =
    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE openExisting(const std::wstring& name, DWORD access, DWORD flags) {
  if (name.empty()) return INVALID_HANDLE_VALUE;
  return ::CreateFileW(name.c_str(), access, kShareAll, nullptr, OPEN_EXISTING,
                       flags, nullptr);
}

// Only files on disk: consoles, pipes and devices ("CON", "NUL") are refused.
bool isDiskFile(HANDLE handle) {
  return ::GetFileType(handle) == FILE_TYPE_DISK;
}

FileIdentity identityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  FileIdentity identity;
  identity.device = info.dwVolumeSerialNumber;
  identity.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                   info.nFileIndexLow;
  return identity;
}

bool seekTo(HANDLE handle, std::uint64_t position) {
  LARGE_INTEGER distance;
  distance.QuadPart = static_cast<LONGLONG>(position);
  return ::SetFilePointerEx(handle, distance, nullptr, FILE_BEGIN) != 0;
}

bool writeAll(HANDLE handle, std::string_view bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const auto chunk = static_cast<DWORD>(
        std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(handle, bytes.data() + done, chunk, &written, nullptr) ||
        written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

// Reads until end of file; the file may have grown since it was measured.
bool readAll(HANDLE handle, std::string& bytes) {
  std::size_t got = 0;
  for (;;) {
    if (got == bytes.size()) bytes.resize(bytes.size() + 65536);
    const auto chunk =
        static_cast<DWORD>(std::min<std::size_t>(bytes.size() - got, 1u << 30));
    DWORD n = 0;
    if (!::ReadFile(handle, bytes.data() + got, chunk, &n, nullptr)) {
      return false;
    }
    if (n == 0) break;
    got += n;
  }
  bytes.resize(got);
  return true;
}

// A fresh name beside `name`: same folder (or drive), short final component.
std::wstring temporaryNameBeside(const std::wstring& name, unsigned attempt) {
  const std::size_t separator = name.find_last_of(L"\\/:");
  const std::wstring folder =
      separator == std::wstring::npos ? L"" : name.substr(0, separator + 1);
  return folder + L".tagfmt-" + std::to_wstring(::GetCurrentProcessId()) +
         L"-" + std::to_wstring(::GetTickCount64() % 100000) + L"-" +
         std::to_wstring(attempt) + L".tmp";
}

}  // namespace

ReadResult readRegularFile(const std::string& path, FileBytes& fileBytes,
                           FileIdentity& identity) {
  std::string& bytes = fileBytes.copy();
  // A folder cannot be opened without FILE_FLAG_BACKUP_SEMANTICS, so it
  // fails here like a missing file.
  Handle file(openExisting(wideName(path), GENERIC_READ,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN));
  if (!file.valid() || !isDiskFile(file.get())) return ReadResult::kCannotOpen;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file.get(), &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return ReadResult::kCannotOpen;
  }
  identity = identityOf(info);
  const std::uint64_t expected =
      (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
      info.nFileSizeLow;
  bytes.clear();
  // One byte more than the size, so growth shows at once.
  bytes.resize(static_cast<std::size_t>(expected) + 1);
  if (!readAll(file.get(), bytes) || bytes.size() < expected) {
    return ReadResult::kCannotRead;
  }
  return ReadResult::kOk;
}

bool refersTo(const std::string& name, const FileIdentity& identity) {
  const Handle file(
      openExisting(wideName(name), 0, FILE_FLAG_BACKUP_SEMANTICS));
  BY_HANDLE_FILE_INFORMATION info;
  if (!file.valid() || !::GetFileInformationByHandle(file.get(), &info)) {
    return false;
  }
  const FileIdentity other = identityOf(info);
  return other.device == identity.device && other.inode == identity.inode;
}

WriteResult writeBackupFile(const std::string& name, std::string_view bytes,
                            const FileIdentity& /*like*/) {
  const std::wstring target = wideName(name);
  if (target.empty()) return WriteResult::kCannotOpen;
  const DWORD attributes = ::GetFileAttributesW(target.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return WriteResult::kCannotOpen;
  }
  std::wstring temporary;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE;
       ++attempt) {
    temporary = temporaryNameBeside(target, attempt);
    created = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE &&
        ::GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  Handle file(created);
  if (!file.valid()) return WriteResult::kCannotOpen;
  // Flushed before the rename, so the backup is on disk under its name
  // before the file itself is touched.
  const bool written =
      writeAll(file.get(), bytes) && ::FlushFileBuffers(file.get()) != 0;
  // MoveFileExW replaces a link of the backup's name, never its target.
  if (!file.close() || !written ||
      !::MoveFileExW(temporary.c_str(), target.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temporary.c_str());
    return WriteResult::kFailed;
  }
  return WriteResult::kOk;
}

WriteResult rewriteFile(const std::string& path, std::string_view bytes,
                        const FileIdentity& identity) {
  Handle file(
      openExisting(wideName(path), GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL));
  if (!file.valid() || !isDiskFile(file.get())) return WriteResult::kCannotOpen;
  // The name may have been pointed elsewhere since the file was read.
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file.get(), &info)) {
    return WriteResult::kCannotOpen;
  }
  const FileIdentity opened = identityOf(info);
  if (opened.device != identity.device || opened.inode != identity.inode) {
    return WriteResult::kCannotOpen;
  }
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(file.get(), &size)) return WriteResult::kCannotOpen;
  // Claim the room first: on a full disk the file stays as it was.
  if (bytes.size() > static_cast<std::uint64_t>(size.QuadPart) &&
      (!seekTo(file.get(), bytes.size()) || !::SetEndOfFile(file.get()))) {
    return WriteResult::kFailed;
  }
  const bool written = seekTo(file.get(), 0) && writeAll(file.get(), bytes) &&
                       ::SetEndOfFile(file.get()) != 0;
  return file.close() && written ? WriteResult::kOk : WriteResult::kFailed;
}

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

}  // namespace tagfmt
