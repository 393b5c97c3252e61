#include "support/FileTools.h"

#include <windows.h>

#include <string>
#include <utility>

#include "support/WineHost.h"

namespace fs = std::filesystem;

namespace {

TFileTime ToFileTime(const FILETIME& time) { return TFileTime{time.dwHighDateTime, time.dwLowDateTime}; }

// Starts the host's chattr with Change ("+i", "-i") on File. Wine starts host programs like its
// own, but without a handle to wait on: callers watch for the effect. False when Wine (or the
// program) is missing.
bool StartHostChattr(const fs::path& file, const wchar_t* change) {
  const std::wstring chattr = WineDosFileName("/usr/bin/chattr");
  const std::string unixFile = WineUnixFileName(file.wstring());
  if (chattr.empty() || unixFile.empty()) return false;
  std::wstring commandLine =
      L"chattr " + std::wstring(change) + L" \"" + std::wstring(unixFile.begin(), unixFile.end()) + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(chattr.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

// Waits up to ten seconds for the file's times to become writable or not: for the access that
// setting them takes to be granted or refused.
bool AwaitTimesWritable(const fs::path& file, bool writable) {
  for (int attempt = 0; attempt < 1000; ++attempt, Sleep(10)) {
    const HANDLE handle = CreateFileW(file.c_str(), FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      0, nullptr);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    if ((handle != INVALID_HANDLE_VALUE) == writable) return true;
  }
  return false;
}

}  // namespace

std::optional<TStoredTimes> StoredTimes(const fs::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return TStoredTimes{ToFileTime(data.ftLastWriteTime), ToFileTime(data.ftLastAccessTime)};
}

std::uint32_t StoredAttributes(const fs::path& path) { return GetFileAttributesW(path.c_str()); }

void MakeReadOnlyHidden(const fs::path& path) {
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
}

bool MakeLink(const fs::path& link, const fs::path& target, TLinkTarget kind) {
  const DWORD flags = SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE |
                      (kind == TLinkTarget::Directory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0);
  // Wine reports success without making anything; only what exists afterwards counts.
  return CreateSymbolicLinkW(link.c_str(), target.c_str(), flags) &&
         GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
}

TUndeletableFile::TUndeletableFile(const fs::path& file) {
  const HANDLE handle =
      CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) fRelease = [handle] { CloseHandle(handle); };
}

TImmutableFile::TImmutableFile(const fs::path& file) {
  if (!StartHostChattr(file, L"+i")) return;
  const bool refused = AwaitTimesWritable(file, false);
  fRelease = [file] {
    if (StartHostChattr(file, L"-i")) AwaitTimesWritable(file, true);
  };
  // The flag counts only when Wine then refuses what setting a time takes.
  if (!refused) std::exchange(fRelease, nullptr)();
}

TExclusivelyOpenFile::TExclusivelyOpenFile(const fs::path& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) fRelease = [handle] { CloseHandle(handle); };
}
