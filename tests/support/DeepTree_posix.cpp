#include "support/DeepTree.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

constexpr int DirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool MakeDirectoryAt(int base, const char* name) { return mkdirat(base, name, 0755) == 0 || errno == EEXIST; }

using TIdentity = std::pair<dev_t, ino_t>;

// Unlinks every entry of Directory but its subdirectories, and names the first of those not
// yet known to stay; empty when none is left to go into.
std::string ClearFilesAndPickSubdirectory(int directory, const std::set<TIdentity>& staying) {
  // A descriptor of its own, so that each listing starts at the beginning.
  DIR* listing = fdopendir(openat(directory, ".", DirectoryFlags));
  if (listing == nullptr) return {};
  std::string subdirectory;
  while (const dirent* entry = readdir(listing)) {
    const std::string name = entry->d_name;
    struct stat status;
    if (name == "." || name == ".." || fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISDIR(status.st_mode)) {
      unlinkat(directory, name.c_str(), 0);
    } else if (!staying.contains({status.st_dev, status.st_ino})) {
      subdirectory = name;
      break;
    }
  }
  closedir(listing);
  return subdirectory;
}

}  // namespace

TDeepDirectory::TDeepDirectory(const fs::path& root, const fs::path& name, std::size_t depth)
    : fDescriptor(open(root.c_str(), DirectoryFlags)) {
  fPath = ToString(root);
  const String separatorAndName = u"/" + ToString(name);
  for (std::size_t level = 0; level < depth && fDescriptor >= 0; ++level) {
    const int next =
        MakeDirectoryAt(fDescriptor, name.c_str()) ? openat(fDescriptor, name.c_str(), DirectoryFlags) : -1;
    close(fDescriptor);
    fDescriptor = next;
    fPath += separatorAndName;
  }
  fMade = fDescriptor >= 0;
}

TDeepDirectory::~TDeepDirectory() {
  if (fDescriptor >= 0) close(fDescriptor);
}

bool TDeepDirectory::MakeDir(std::string_view relative) const {
  const std::string path(relative);
  for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
    if (!MakeDirectoryAt(fDescriptor, path.substr(0, slash).c_str())) return false;
  }
  return MakeDirectoryAt(fDescriptor, path.c_str());
}

bool TDeepDirectory::WriteFile(std::string_view relative, std::string_view content) const {
  const std::string path(relative);
  const std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && !MakeDir(path.substr(0, slash))) return false;
  const int file = openat(fDescriptor, path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (file < 0) return false;
  const bool written = write(file, content.data(), content.size()) == static_cast<ssize_t>(content.size());
  return close(file) == 0 && written;
}

std::optional<TFileTime> TDeepDirectory::LastWriteTime(std::string_view relative) const {
  struct stat status;
  if (fstatat(fDescriptor, std::string(relative).c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  return TFileTime{static_cast<std::int64_t>(status.st_mtim.tv_sec),
                   static_cast<std::uint32_t>(status.st_mtim.tv_nsec)};
}

bool TDeepDirectory::SetLastWriteTime(std::string_view relative, const TFileTime& time) const {
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = static_cast<time_t>(time.High);
  times[1].tv_nsec = static_cast<long>(time.Low);
  return utimensat(fDescriptor, std::string(relative).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

bool RemoveDeepTree(const fs::path& root) {
  struct stat status;
  if (lstat(root.c_str(), &status) != 0) return errno == ENOENT;
  if (!S_ISDIR(status.st_mode)) return unlink(root.c_str()) == 0;
  // Directories are made accessible on the way down; root needs no such help.
  chmod(root.c_str(), 0700);
  int directory = open(root.c_str(), DirectoryFlags);
  // The names from the root down to the current directory; the way back up goes by "..",
  // which cannot lead astray as no link is ever followed.
  std::vector<std::string> names;
  // Directories that could not be emptied or removed, so that the walk does not try them again.
  std::set<TIdentity> staying;
  while (directory >= 0) {
    const std::string subdirectory = ClearFilesAndPickSubdirectory(directory, staying);
    if (!subdirectory.empty()) {
      fchmodat(directory, subdirectory.c_str(), 0700, 0);
      const int next = openat(directory, subdirectory.c_str(), DirectoryFlags);
      if (next >= 0) {
        close(directory);
        directory = next;
        names.push_back(subdirectory);
      } else if (fstatat(directory, subdirectory.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
        staying.insert({status.st_dev, status.st_ino});
      }
      continue;
    }
    if (names.empty()) break;
    fstat(directory, &status);
    const int parent = openat(directory, "..", DirectoryFlags);
    close(directory);
    directory = parent;
    if (parent >= 0 && unlinkat(parent, names.back().c_str(), AT_REMOVEDIR) != 0) {
      staying.insert({status.st_dev, status.st_ino});
    }
    names.pop_back();
  }
  if (directory >= 0) close(directory);
  return rmdir(root.c_str()) == 0;
}
