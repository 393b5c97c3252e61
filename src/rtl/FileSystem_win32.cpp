#include "rtl/FileSystem.h"

#include <windows.h>

#include <optional>
#include <string_view>

#include "rtl/FileSystem_win32.h"

namespace {

const wchar_t* W(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

bool IsLetter(Char c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

// What follows the root of a full path ("C:\", or "\\server\share" and its separator);
// nothing when Path is no full path.
std::optional<std::u16string_view> AfterRoot(std::u16string_view path) {
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == u':' && path[2] == u'\\') return path.substr(3);
  if (!path.starts_with(u"\\\\") || path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) return std::nullopt;
  const std::size_t share = path.find(u'\\', 2);
  if (share == std::u16string_view::npos || share == 2 || share + 1 == path.size()) return std::nullopt;
  const std::size_t rest = path.find(u'\\', share + 1);
  return rest == std::u16string_view::npos ? std::u16string_view() : path.substr(rest + 1);
}

// Whether the components are names as they stand, which the system would otherwise resolve.
bool AreLiteralNames(std::u16string_view components) {
  if (components.find(u'/') != std::u16string_view::npos) return false;
  for (std::size_t start = 0; start < components.size();) {
    std::size_t end = components.find(u'\\', start);
    if (end == std::u16string_view::npos) end = components.size();
    const std::u16string_view name = components.substr(start, end - start);
    if (name.empty() || name == u"." || name == u"..") return false;
    start = end + 1;
  }
  return true;
}

constexpr DWORD ShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// Closes the handle when it goes; only ever built from a valid handle.
using THandleOwner = std::unique_ptr<void, decltype(&CloseHandle)>;

// Opens Name, following links, without data access; a directory too.
HANDLE OpenForInformation(const String& name) {
  return CreateFileW(W(ExtendedPath(name)), 0, ShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
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
  const DWORD attributes = GetFileAttributesW(W(ExtendedPath(name)));
  if (attributes == INVALID_FILE_ATTRIBUTES) return std::nullopt;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return attributes;
  const std::optional<BY_HANDLE_FILE_INFORMATION> target = InformationOf(name);
  if (!target) return std::nullopt;
  return target->dwFileAttributes;
}

}  // namespace

String ExtendedPath(const String& path) {
  if (path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) return path;
  String full = path;
  std::optional<std::u16string_view> names = AfterRoot(full);
  if (!names || !AreLiteralNames(*names)) {
    full = ExpandFileName(path);
    names = AfterRoot(full);
    if (!names) return full.empty() ? path : full;
  }
  if (full.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + full.substr(2);
  return u"\\\\?\\" + full;
}

bool FileExists(const String& name) {
  const std::optional<DWORD> attributes = AttributesFollowingLinks(name);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const String& name) {
  const std::optional<DWORD> attributes = AttributesFollowingLinks(name);
  return attributes && (*attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsLink(const String& name) {
  const DWORD attributes = GetFileAttributesW(W(ExtendedPath(name)));
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

bool SetFileLastWriteTime(const String& fileName, const TFileTime& lastWriteTime) {
  const HANDLE handle = CreateFileW(W(ExtendedPath(fileName)), FILE_WRITE_ATTRIBUTES, ShareAll, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const THandleOwner owner(handle, &CloseHandle);
  FILETIME time;
  time.dwLowDateTime = lastWriteTime.Low;
  time.dwHighDateTime = static_cast<DWORD>(lastWriteTime.High);
  return SetFileTime(handle, nullptr, nullptr, &time) != FALSE;
}

bool RemoveFile(const String& fileName) { return DeleteFileW(W(ExtendedPath(fileName))) != FALSE; }

bool ForceRemoveFile(const String& fileName) {
  SetFileAttributesW(W(ExtendedPath(fileName)), 0);
  return RemoveFile(fileName);
}

bool RemoveEmptyDirectory(const String& directory) { return RemoveDirectoryW(W(ExtendedPath(directory))) != FALSE; }

bool RemoveLink(const String& name) {
  // A link to a directory is a directory entry of its own and goes the way directories go;
  // neither call follows it.
  const DWORD attributes = GetFileAttributesW(W(ExtendedPath(name)));
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
  fState->Handle = FindFirstFileW(W(ExtendedPath(pattern)), &fState->Data);
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
