#include "support/FileTools.h"

#include <windows.h>

namespace fs = std::filesystem;

namespace {

TFileTime ToFileTime(const FILETIME& time) { return TFileTime{time.dwHighDateTime, time.dwLowDateTime}; }

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
