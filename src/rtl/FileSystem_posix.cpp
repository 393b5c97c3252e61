#include "rtl/FileSystem.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "rtl/Utf8.h"

namespace {

std::string Native(const String& name) { return StringToUtf8Bytes(name); }

bool StatFollowingLinks(const String& name, struct stat& status) {
  return stat(Native(name).c_str(), &status) == 0;
}

std::optional<String> CurrentDirectory() {
  std::string buffer(256, '\0');
  while (getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return std::nullopt;
    buffer.resize(buffer.size() * 2);
  }
  buffer.resize(buffer.find('\0'));
  return Utf8BytesToString(buffer);
}

}  // namespace

bool FileExists(const String& name) {
  struct stat status;
  return StatFollowingLinks(name, status) && !S_ISDIR(status.st_mode);
}

bool DirectoryExists(const String& name) {
  struct stat status;
  return StatFollowingLinks(name, status) && S_ISDIR(status.st_mode);
}

bool IsLink(const String& name) {
  struct stat status;
  return lstat(Native(name).c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

String ExpandFileName(const String& name) {
  if (name.empty()) return {};
  String full = name;
  if (name.front() != u'/') {
    const std::optional<String> current = CurrentDirectory();
    if (!current) return {};
    full = *current + u'/' + name;
  }
  // Resolved by the text alone: asking the file system would replace links by their targets.
  std::vector<std::u16string_view> components;
  const std::u16string_view text = full;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find(u'/', start);
    if (end == std::u16string_view::npos) end = text.size();
    const std::u16string_view component = text.substr(start, end - start);
    if (component == u"..") {
      if (!components.empty()) components.pop_back();
    } else if (!component.empty() && component != u".") {
      components.push_back(component);
    }
    start = end + 1;
  }
  String result;
  for (const std::u16string_view component : components) (result += u'/') += component;
  if (result.empty() || name.back() == u'/') result += u'/';
  return result;
}

bool SetFileLastWriteTime(const String& fileName, const TFileTime& lastWriteTime) {
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
  times[1].tv_sec = static_cast<time_t>(lastWriteTime.High);
  times[1].tv_nsec = static_cast<long>(lastWriteTime.Low);
  return utimensat(AT_FDCWD, Native(fileName).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

// The system does not refuse to delete a file its mode forbids to write; a file without any
// write permission bit is what Windows calls read-only, and is kept as Windows keeps it.
bool RemoveFile(const String& fileName) {
  struct stat status;
  const std::string name = Native(fileName);
  if (lstat(name.c_str(), &status) == 0 && S_ISREG(status.st_mode) && (status.st_mode & 0222) == 0) {
    errno = EACCES;
    return false;
  }
  return unlink(name.c_str()) == 0;
}

bool ForceRemoveFile(const String& fileName) { return unlink(Native(fileName).c_str()) == 0; }

bool RemoveEmptyDirectory(const String& directory) { return rmdir(Native(directory).c_str()) == 0; }

bool RemoveLink(const String& name) { return unlink(Native(name).c_str()) == 0; }

struct TFileSearch::TState {
  DIR* Directory = nullptr;
  std::string Mask;
};

TFileSearch::TFileSearch(const String& pattern) : fState(std::make_unique<TState>()) {
  const std::string native = Native(pattern);
  const std::size_t slash = native.rfind('/');
  const std::string directory = slash == std::string::npos ? "." : native.substr(0, slash + 1);
  fState->Mask = slash == std::string::npos ? native : native.substr(slash + 1);
  fState->Directory = opendir(directory.c_str());
  if (fState->Directory != nullptr) Next();
}

TFileSearch::~TFileSearch() {
  if (fState->Directory != nullptr) closedir(fState->Directory);
}

void TFileSearch::Next() {
  fFound = false;
  if (fState->Directory == nullptr) return;
  while (const dirent* entry = readdir(fState->Directory)) {
    // No FNM_PERIOD: "*" matches names that begin with a dot, as hidden entries are wanted.
    if (fnmatch(fState->Mask.c_str(), entry->d_name, 0) != 0) continue;
    const int directory = dirfd(fState->Directory);
    unsigned char type = entry->d_type;
    struct stat status;
    if (type == DT_UNKNOWN && fstatat(directory, entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0) {
      type = S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
    }
    fEntry.Name = Utf8BytesToString(entry->d_name);
    fEntry.IsLink = type == DT_LNK;
    const bool isDirectory = type == DT_DIR || (type == DT_LNK && fstatat(directory, entry->d_name, &status, 0) == 0 &&
                                                S_ISDIR(status.st_mode));
    fEntry.Attributes = isDirectory ? TSearchEntry::faDirectory : 0;
    fFound = true;
    return;
  }
}
