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
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>

#include "driver/platform.h"
#include "driver/platform_io.h"

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
  // Gives the handle up to the caller, who closes it.
  HANDLE release() {
    const HANDLE handle = handle_;
    handle_ = INVALID_HANDLE_VALUE;
    return handle;
  }
  // Closes now and tells whether the close reported success.
  bool close() { return ::CloseHandle(release()) != 0; }

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

NativeHandle native(HANDLE handle) {
  return reinterpret_cast<NativeHandle>(handle);
}
HANDLE handleOf(NativeHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

// 100-nanosecond steps since 1601, as nanoseconds since 1601.
std::int64_t nanoseconds(LARGE_INTEGER time) { return time.QuadPart * 100; }

// False when the handle cannot be asked.
bool identityOf(HANDLE handle, FileIdentity& identity) {
  BY_HANDLE_FILE_INFORMATION info;
  FILE_BASIC_INFO basic;
  if (!::GetFileInformationByHandle(handle, &info) ||
      !::GetFileInformationByHandleEx(handle, FileBasicInfo, &basic,
                                      sizeof basic)) {
    return false;
  }
  identity.device = info.dwVolumeSerialNumber;
  identity.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
                   info.nFileIndexLow;
  identity.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                  info.nFileSizeLow;
  identity.modifiedNs = nanoseconds(basic.LastWriteTime);
  identity.changedNs = nanoseconds(basic.ChangeTime);
  return true;
}

bool readFrom(HANDLE handle, char* buffer, std::size_t size,
              std::uint64_t offset) {
  std::size_t got = 0;
  while (got < size) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset + got);
    at.OffsetHigh = static_cast<DWORD>((offset + got) >> 32);
    DWORD n = 0;
    const auto chunk =
        static_cast<DWORD>(std::min<std::size_t>(size - got, 1u << 30));
    if (!::ReadFile(handle, buffer + got, chunk, &n, &at) || n == 0) {
      return false;
    }
    got += n;
  }
  return true;
}

// The handle's file as the system names it, to see that a handle opened
// by name lies in the job's folder.
std::wstring finalPath(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    const DWORD length = ::GetFinalPathNameByHandleW(
        handle, path.data(), static_cast<DWORD>(path.size()),
        FILE_NAME_NORMALIZED);
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(length + 1);
  }
  return {};
}

std::wstring wideLeafPath(const JobFiles& job, const std::string& leaf) {
  return wideName(job.folderPath.empty() ? leaf : job.folderPath + leaf);
}

// Opens `leaf` in the job's folder and makes sure the handle lies there,
// however the folders on the path were moved since the job began.
HANDLE openInFolder(const JobFiles& job, const std::string& leaf, DWORD access,
                    DWORD flags) {
  Handle opened(openExisting(wideLeafPath(job, leaf), access, flags));
  if (!opened.valid()) return INVALID_HANDLE_VALUE;
  const std::wstring folder = finalPath(handleOf(job.folder));
  const std::wstring path = finalPath(opened.get());
  const std::size_t separator = path.find_last_of(L'\\');
  if (folder.empty() || separator == std::wstring::npos ||
      ::CompareStringOrdinal(path.c_str(), static_cast<int>(separator),
                             folder.c_str(), static_cast<int>(folder.size()),
                             TRUE) != CSTR_EQUAL) {
    return INVALID_HANDLE_VALUE;
  }
  return opened.release();
}

// The owner of what `handle` opened; empty when it cannot be learned.
std::string ownerOf(HANDLE handle) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                        &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return {};
  }
  std::string sid(static_cast<const char*>(owner), ::GetLengthSid(owner));
  ::LocalFree(descriptor);
  return sid;
}

std::string runningUser() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return {};
  }
  alignas(TOKEN_USER) char buffer[256];
  DWORD length = 0;
  std::string sid;
  if (::GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length)) {
    const PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
    sid.assign(static_cast<const char*>(user), ::GetLengthSid(user));
  }
  ::CloseHandle(token);
  return sid;
}

// A symbolic link at the name is followed only when it belongs to the user
// running the tool or to the owner of the file it points at.
HANDLE openLeaf(JobFiles& job) {
  constexpr DWORD kFlags = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN;
  Handle link(openInFolder(job, job.leaf, READ_CONTROL,
                           kFlags | FILE_FLAG_OPEN_REPARSE_POINT));
  if (!link.valid()) return INVALID_HANDLE_VALUE;
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!::GetFileInformationByHandleEx(link.get(), FileAttributeTagInfo, &tag,
                                      sizeof tag)) {
    return INVALID_HANDLE_VALUE;
  }
  const bool isLink =
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
      tag.ReparseTag == IO_REPARSE_TAG_SYMLINK;
  const HANDLE file =
      openInFolder(job, job.leaf, GENERIC_READ | READ_CONTROL,
                   isLink ? kFlags : kFlags | FILE_FLAG_OPEN_REPARSE_POINT);
  if (file == INVALID_HANDLE_VALUE || !isLink) return file;
  const std::string linkOwner = ownerOf(link.get());
  if (linkOwner.empty() ||
      (linkOwner != runningUser() && linkOwner != ownerOf(file))) {
    ::CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  job.followsLink = true;
  return file;
}

// Ctrl+C and the console's close wait while a file is incomplete or a
// temporary name exists; one that came meanwhile ends the run on release.
volatile LONG heldSignals = 0;
volatile LONG signalArrived = 0;

BOOL WINAPI holdControlEvent(DWORD /*event*/) {
  if (heldSignals == 0) return FALSE;
  ::InterlockedExchange(&signalArrived, 1);
  return TRUE;
}

void holdTerminationSignals() {
  static const bool installed =
      ::SetConsoleCtrlHandler(holdControlEvent, TRUE) != 0;
  static_cast<void>(installed);
  ::InterlockedIncrement(&heldSignals);
}

void releaseTerminationSignals() {
  if (::InterlockedDecrement(&heldSignals) == 0 && signalArrived != 0) {
    std::fflush(stdout);
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
  }
}

// Gives the backup the file's access rules, so no one may read it who may
// not read the file.
bool copyAccessRules(HANDLE from, HANDLE to) {
  PACL rules = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(from, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                        nullptr, nullptr, &rules, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  const bool copied =
      ::SetSecurityInfo(
          to, SE_FILE_OBJECT,
          DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
          nullptr, nullptr, rules, nullptr) == ERROR_SUCCESS;
  ::LocalFree(descriptor);
  return copied;
}

bool stillAsRead(const JobFiles& job, HANDLE handle, std::string_view read) {
  FileIdentity now;
  if (!identityOf(handle, now) || !sameState(now, job.identity)) return false;
  Handle named(openInFolder(
      job, job.leaf, 0,
      job.followsLink
          ? FILE_FLAG_BACKUP_SEMANTICS
          : FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT));
  FileIdentity current;
  if (!named.valid() || !identityOf(named.get(), current) ||
      !sameFile(current, job.identity)) {
    return false;
  }
  return !job.identity.recent || holdsBytes(job.file, read);
}

}  // namespace

bool readAt(NativeHandle file, char* buffer, std::size_t size,
            std::uint64_t offset) {
  return readFrom(handleOf(file), buffer, size, offset);
}

bool writeAt(NativeHandle file, std::string_view bytes, std::uint64_t offset) {
  return seekTo(handleOf(file), offset) && writeAll(handleOf(file), bytes);
}

bool cutTo(NativeHandle file, std::uint64_t size) {
  return seekTo(handleOf(file), size) && ::SetEndOfFile(handleOf(file)) != 0;
}

bool lengthOf(NativeHandle file, std::uint64_t& size) {
  LARGE_INTEGER length;
  if (!::GetFileSizeEx(handleOf(file), &length)) return false;
  size = static_cast<std::uint64_t>(length.QuadPart);
  return true;
}

// 100-nanosecond steps since 1601, as the file times are kept.
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

bool terminationPending() { return signalArrived != 0; }

// Nothing is linked as a backup here, so nothing is given back.
void giveBackBackupName(const JobFiles& /*job*/,
                        const std::string& /*backupLeaf*/,
                        StagedFile& /*previous*/) {}

HeldSignals::HeldSignals() { holdTerminationSignals(); }
HeldSignals::~HeldSignals() { releaseTerminationSignals(); }

JobFiles::~JobFiles() {
  if (file != kNoHandle) ::CloseHandle(handleOf(file));
  if (folder != kNoHandle) ::CloseHandle(handleOf(folder));
}

namespace {

// Reads the open file from its start; false on an error or a short read.
bool readOpenFile(NativeHandle file, std::uint64_t expectedSize,
                  std::string& bytes) {
  // One byte more than the size, so growth shows at once.
  bytes.resize(static_cast<std::size_t>(expectedSize) + 1);
  return readAll(handleOf(file), bytes) && bytes.size() >= expectedSize;
}

}  // namespace

ReadResult openAndRead(const std::string& path, JobFiles& job,
                       FileBytes& fileBytes) {
  std::string& bytes = fileBytes.copy();
  const std::size_t separator = path.find_last_of("/\\:");
  const std::size_t leafStart =
      separator == std::string::npos ? 0 : separator + 1;
  job.folderPath = path.substr(0, leafStart);
  job.leaf = path.substr(leafStart);
  if (job.leaf.empty()) return ReadResult::kCannotOpen;
  // Held without delete sharing, so the folder cannot be moved meanwhile.
  job.folder = native(::CreateFileW(
      wideName(job.folderPath.empty() ? "." : job.folderPath).c_str(),
      FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handleOf(job.folder) == INVALID_HANDLE_VALUE) {
    job.folder = kNoHandle;
    return ReadResult::kCannotOpen;
  }
  if (!identityOf(handleOf(job.folder), job.folderIdentity)) {
    return ReadResult::kCannotOpen;
  }
  const HANDLE file = openLeaf(job);
  if (file == INVALID_HANDLE_VALUE) return ReadResult::kCannotOpen;
  job.file = native(file);
  FileIdentity after;
  if (!isDiskFile(file) || !identityOf(file, job.identity)) {
    return ReadResult::kCannotOpen;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return ReadResult::kCannotOpen;
  }
  if (!readOpenFile(job.file, job.identity.size, bytes) ||
      !identityOf(file, after) || !sameState(after, job.identity) ||
      bytes.size() != job.identity.size) {
    return ReadResult::kCannotRead;
  }
  job.identity.recent = writtenJustNow(job.identity);
  return ReadResult::kOk;
}

bool unchangedSinceRead(const JobFiles& job, std::string_view read) {
  return stillAsRead(job, handleOf(job.file), read);
}

bool leafIsTheFile(const JobFiles& job, const std::string& leaf) {
  const Handle other(
      openExisting(wideLeafPath(job, leaf), 0, FILE_FLAG_BACKUP_SEMANTICS));
  FileIdentity identity;
  return other.valid() && identityOf(other.get(), identity) &&
         sameFile(identity, job.identity);
}

bool identityAt(const JobFiles& job, const std::string& leaf,
                FileIdentity& identity) {
  const Handle other(
      openExisting(wideLeafPath(job, leaf), 0, FILE_FLAG_BACKUP_SEMANTICS));
  return other.valid() && identityOf(other.get(), identity);
}

StagedFile::~StagedFile() { letGo(*this); }

void letGo(StagedFile& staged) {
  if (staged.file != kNoHandle) ::CloseHandle(handleOf(staged.file));
  staged.file = kNoHandle;
  if (!staged.published && !staged.temporaryName.empty()) {
    ::DeleteFileW(wideName(staged.temporaryName).c_str());
    staged.temporaryName.clear();
  }
  if (staged.signalsHeld) releaseTerminationSignals();
  staged.signalsHeld = false;
}

// A byte-range lock here would stop this run's own rewrite, which writes
// through a handle of its own: files are not claimed.
bool claimForWriting(const JobFiles& /*job*/) { return true; }

// The staged copy has its temporary name from the start here.
WriteResult keepHidden(StagedFile& /*staged*/, std::string_view /*newText*/) {
  return WriteResult::kOk;
}

bool leftoversBeside(const JobFiles& /*job*/) { return false; }
void forgetListings() {}

// Windows names its temporaries apart and keeps no hidden copy.
RepairResult repairLeftovers(JobFiles& /*job*/, std::string_view /*read*/,
                             const std::string& /*backupLeaf*/,
                             const TidyText& /*tidy*/) {
  return RepairResult::kClear;
}

WriteResult stageBackup(const JobFiles& job, std::string_view bytes,
                        StagedFile& staged) {
  staged.folder = job.folder;
  staged.device = job.identity.device;
  holdTerminationSignals();
  staged.signalsHeld = true;
  const std::wstring beside = wideLeafPath(job, job.leaf);
  HANDLE created = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE;
       ++attempt) {
    const std::wstring name = temporaryNameBeside(beside, attempt);
    // No sharing but deletion, which the rename over the backup's name needs.
    created =
        ::CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE | WRITE_DAC,
                      FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE) {
      staged.temporaryName = utf8Name(name.c_str());
    } else if (::GetLastError() != ERROR_FILE_EXISTS) {
      break;
    }
  }
  if (created == INVALID_HANDLE_VALUE) return WriteResult::kCannotOpen;
  staged.file = native(created);
  if (!copyAccessRules(handleOf(job.file), created) ||
      !writeAll(created, bytes)) {
    return WriteResult::kFailed;
  }
  return WriteResult::kOk;
}

bool makeDurable(StagedFile& staged) {
  return ::FlushFileBuffers(handleOf(staged.file)) != 0;
}

// Windows has no flush of a whole volume short of administrator rights.
bool makeAllDurable(const std::vector<StagedFile*>& batch) {
  for (StagedFile* staged : batch) {
    if (!makeDurable(*staged)) return false;
  }
  return true;
}

// MoveFileExW wrote each name through already.
bool makeNamesDurable(NativeHandle /*folder*/) { return true; }

WriteResult publishBackup(StagedFile& staged, const std::string& backupLeaf) {
  const std::size_t separator = staged.temporaryName.find_last_of("/\\:");
  const std::string target =
      staged.temporaryName.substr(
          0, separator == std::string::npos ? 0 : separator + 1) +
      backupLeaf;
  const std::wstring wideTarget = wideName(target);
  const DWORD attributes = ::GetFileAttributesW(wideTarget.c_str());
  // MoveFileExW replaces a link of the backup's name, never its target.
  if (wideTarget.empty() ||
      (attributes != INVALID_FILE_ATTRIBUTES &&
       (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) ||
      !::MoveFileExW(wideName(staged.temporaryName).c_str(), wideTarget.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return WriteResult::kCannotOpen;
  }
  staged.published = true;
  staged.signalsHeld = false;
  releaseTerminationSignals();
  return WriteResult::kOk;
}

RewriteResult rewriteInPlace(const JobFiles& job, std::string_view read,
                             std::string_view bytes, const StagedFile& backup) {
  Handle file(openInFolder(
      job, job.leaf, GENERIC_WRITE,
      job.followsLink ? FILE_ATTRIBUTE_NORMAL
                      : FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT));
  if (!file.valid() || !isDiskFile(file.get())) {
    return RewriteResult::kCannotOpen;
  }
  holdTerminationSignals();
  RewriteResult result = RewriteResult::kOk;
  if (!stillAsRead(job, file.get(), read)) {
    result = RewriteResult::kChanged;
  } else if (bytes.size() > job.identity.size &&
             (!seekTo(file.get(), bytes.size()) ||
              !::SetEndOfFile(file.get()))) {
    // Room is claimed first: on a full disk the file stays as it was.
    result = RewriteResult::kFailed;
  } else if (!seekTo(file.get(), 0) || !writeAll(file.get(), bytes) ||
             !::SetEndOfFile(file.get()) || !::FlushFileBuffers(file.get())) {
    // The read bytes may be a view of this very file, gone by now.
    result = restoreFromBackup(native(file.get()), backup.file)
                 ? RewriteResult::kFailed
                 : RewriteResult::kTorn;
  }
  if (!file.close() && result == RewriteResult::kOk) {
    result = RewriteResult::kFailed;
  }
  releaseTerminationSignals();
  return result;
}

// ReplaceFileW keeps the replaced file's attributes and access rules but
// gives the backup a copy's identity and cannot be undone when the old file
// turns out changed, so every file here takes the in-place road.
bool mayReplace(const JobFiles& /*job*/) { return false; }

WriteResult stageReplacement(const JobFiles& /*job*/,
                             std::string_view /*bytes*/,
                             StagedFile& /*staged*/) {
  return WriteResult::kCannotOpen;
}

WriteResult linkAsBackup(JobFiles& /*job*/, const std::string& /*backupLeaf*/,
                         StagedFile& /*previous*/) {
  return WriteResult::kCannotOpen;
}

RewriteResult replaceFile(JobFiles& /*job*/, std::string_view /*read*/,
                          StagedFile& /*replacement*/, StagedFile& /*previous*/,
                          const std::string& /*backupLeaf*/) {
  return RewriteResult::kCannotOpen;
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
