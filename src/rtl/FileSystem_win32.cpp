#include "rtl/FileSystem.h"

#include <windows.h>

namespace {

const wchar_t* W(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Closes the handle when it goes; only ever built from a valid handle.
using THandleOwner = std::unique_ptr<void, decltype(&CloseHandle)>;

// Opens Name, following links, without data access; a directory too.
HANDLE OpenForInformation(const String& name) {
  return CreateFileW(W(name), 0, ShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::optional<BY_HANDLE_FILE_INFORMATION> InformationOf(const String& name) {
  const HANDLE handle = OpenForInformation(name);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  const THandleOwner owner(handle, &CloseHandle);
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return std::nullopt;
  return information;
}

// The attributes of Name, or for a link those of its target, which must be openable.
std::optional<DWORD> AttributesFollowingLinks(const String& name) {
  const DWORD attributes = GetFileAttributesW(W(name));
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return attributes;
  const std::optional<BY_HANDLE_FILE_INFORMATION> target = InformationOf(name);
  if (!target) return std::nullopt;
  return target->dwFileAttributes;
}

}  // namespace

bool FileExists(const String& name) {
  const std::optional<DWORD> attributes = AttributesFollowingLinks(name);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const String& name) {
  const std::optional<DWORD> attributes = AttributesFollowingLinks(name);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(const String& name) {
  const DWORD attributes = GetFileAttributesW(W(name));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

String ExpandFileName(const String& name) {
  if (name.empty()) return {};
  String result;
  DWORD size = GetFullPathNameW(W(name), 0, nullptr, nullptr);
  // The current directory may change between the two calls; ask again until it fits.
  while (size != 0) {
    result.resize(size);
    const DWORD length = GetFullPathNameW(W(name), size, reinterpret_cast<wchar_t*>(result.data()), nullptr);
    if (length < size) {
      result.resize(length);
      return result;
    }
    size = length;
  }
  return {};
}

std::optional<TFileIdentity> GetFileIdentity(const String& name) {
  const std::optional<BY_HANDLE_FILE_INFORMATION> information = InformationOf(name);
  if (!information) return std::nullopt;
  return TFileIdentity{information->dwVolumeSerialNumber,
                       (std::uint64_t{information->nFileIndexHigh} << 32) | information->nFileIndexLow};
}

bool SetFileLastWriteTime(const String& fileName, const TFileTime& lastWriteTime) {
  const HANDLE handle = CreateFileW(W(fileName), FILE_WRITE_ATTRIBUTES, ShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const THandleOwner owner(handle, &CloseHandle);
  FILETIME time;
  time.dwLowDateTime = lastWriteTime.Low;
  time.dwHighDateTime = static_cast<DWORD>(lastWriteTime.High);
  return SetFileTime(handle, nullptr, nullptr, &time) != FALSE;
}

bool RemoveFile(const String& fileName) { return DeleteFileW(W(fileName)) != FALSE; }

bool ForceRemoveFile(const String& fileName) {
  SetFileAttributesW(W(fileName), 0);
  return RemoveFile(fileName);
}

bool RemoveEmptyDirectory(const String& directory) { return RemoveDirectoryW(W(directory)) != FALSE; }

bool RemoveLink(const String& name) {
  // A link to a directory is a directory entry of its own and goes the way directories go;
  // neither call follows it.
  const DWORD attributes = GetFileAttributesW(W(name));
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return RemoveEmptyDirectory(name);
  }
  return RemoveFile(name);
}

struct TFileSearch::TState {
  HANDLE Handle = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAW Data;
};

namespace {

void Fill(TSearchEntry& entry, const WIN32_FIND_DATAW& data) {
  entry.Name = reinterpret_cast<const Char*>(data.cFileName);
  entry.Attributes = data.dwFileAttributes;
  entry.IsLink = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

TFileSearch::TFileSearch(const String& pattern) : fState(std::make_unique<TState>()) {
  fState->Handle = FindFirstFileW(W(pattern), &fState->Data);
  fFound = fState->Handle != INVALID_HANDLE_VALUE;
  if (fFound) Fill(fEntry, fState->Data);
}

TFileSearch::~TFileSearch() {
  if (fState->Handle != INVALID_HANDLE_VALUE) FindClose(fState->Handle);
}

void TFileSearch::Next() {
  fFound = fState->Handle != INVALID_HANDLE_VALUE && FindNextFileW(fState->Handle, &fState->Data);
  if (fFound) Fill(fEntry, fState->Data);
}
