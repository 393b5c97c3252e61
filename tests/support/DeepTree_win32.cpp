#include "support/DeepTree.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "rtl/Utf8.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

const wchar_t* W(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// The \\?\ form of an absolute path, which the W calls take at any length.
String LongForm(const String& path) {
  if (path.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + path.substr(2);
  return u"\\\\?\\" + path;
}

String Backslashed(std::string_view relative) {
  String path = Utf8BytesToString(relative);
  for (Char& c : path) {
    if (c == u'/') c = u'\\';
  }
  return path;
}

bool MakeDirectory(const String& path) {
  return CreateDirectoryW(W(path), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// Deletes every entry of Directory but its real subdirectories (links go as they are), and
// names the first of those not yet known to stay; empty when none is left to go into.
String ClearFilesAndPickSubdirectory(const String& directory, const std::set<String>& staying) {
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileW(W(directory + u"\\*"), &data);
  if (search == INVALID_HANDLE_VALUE) return {};
  String subdirectory;
  do {
    const String name = reinterpret_cast<const Char*>(data.cFileName);
    if (name == u"." || name == u"..") continue;
    const String path = directory + u"\\" + name;
    const bool isDirectory = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (isDirectory && (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
      if (staying.contains(path)) continue;
      subdirectory = path;
      break;
    }
    // A link to a directory goes the way directories go; a read-only entry only once its
    // attributes are cleared.
    const auto remove = [&] { return isDirectory ? RemoveDirectoryW(W(path)) : DeleteFileW(W(path)); };
    if (!remove() && SetFileAttributesW(W(path), FILE_ATTRIBUTE_NORMAL)) remove();
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return subdirectory;
}

}  // namespace

TDeepDirectory::TDeepDirectory(const fs::path& root, const fs::path& name, std::size_t depth) {
  fPath = ToString(fs::absolute(root).make_preferred());
  fLongPath = LongForm(fPath);
  const String separatorAndName = u"\\" + ToString(name);
  fMade = true;
  for (std::size_t level = 0; level < depth && fMade; ++level) {
    fPath += separatorAndName;
    fLongPath += separatorAndName;
    fMade = MakeDirectory(fLongPath);
  }
}

TDeepDirectory::~TDeepDirectory() = default;

bool TDeepDirectory::MakeDir(std::string_view relative) const {
  const String path = Backslashed(relative);
  for (std::size_t slash = path.find(u'\\'); slash != String::npos; slash = path.find(u'\\', slash + 1)) {
    if (!MakeDirectory(fLongPath + u"\\" + path.substr(0, slash))) return false;
  }
  return MakeDirectory(fLongPath + u"\\" + path);
}

bool TDeepDirectory::WriteFile(std::string_view relative, std::string_view content) const {
  const std::size_t slash = relative.rfind('/');
  if (slash != std::string_view::npos && !MakeDir(relative.substr(0, slash))) return false;
  const HANDLE file = CreateFileW(W(fLongPath + u"\\" + Backslashed(relative)), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool complete = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
                        written == content.size();
  return CloseHandle(file) && complete;
}

std::optional<TFileTime> TDeepDirectory::LastWriteTime(std::string_view relative) const {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(fLongPath + u"\\" + Backslashed(relative)), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return TFileTime{data.ftLastWriteTime.dwHighDateTime, data.ftLastWriteTime.dwLowDateTime};
}

bool TDeepDirectory::SetLastWriteTime(std::string_view relative, const TFileTime& time) const {
  const HANDLE file = CreateFileW(W(fLongPath + u"\\" + Backslashed(relative)), FILE_WRITE_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME lastWrite{time.Low, static_cast<DWORD>(time.High)};
  const bool set = SetFileTime(file, nullptr, nullptr, &lastWrite);
  return CloseHandle(file) && set;
}

bool RemoveDeepTree(const fs::path& root) {
  const String top = LongForm(ToString(fs::absolute(root).make_preferred()));
  const DWORD attributes = GetFileAttributesW(W(top));
  if (attributes == INVALID_FILE_ATTRIBUTES) return true;
  SetFileAttributesW(W(top), FILE_ATTRIBUTE_NORMAL);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return DeleteFileW(W(top));
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return RemoveDirectoryW(W(top));
  // From the root down to the current directory.
  std::vector<String> directories{top};
  // Directories that could not be emptied or removed, so that the walk does not try them again.
  std::set<String> staying;
  while (!directories.empty()) {
    String subdirectory = ClearFilesAndPickSubdirectory(directories.back(), staying);
    if (!subdirectory.empty()) {
      directories.push_back(std::move(subdirectory));
      continue;
    }
    const wchar_t* directory = W(directories.back());
    if (!RemoveDirectoryW(directory) &&
        !(SetFileAttributesW(directory, FILE_ATTRIBUTE_NORMAL) && RemoveDirectoryW(directory))) {
      staying.insert(directories.back());
    }
    directories.pop_back();
  }
  return GetFileAttributesW(W(top)) == INVALID_FILE_ATTRIBUTES;
}
