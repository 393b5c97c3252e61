#include "support/FileTools.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

TFileTime ToFileTime(const timespec& time) {
  return TFileTime{static_cast<std::int64_t>(time.tv_sec), static_cast<std::uint32_t>(time.tv_nsec)};
}

bool SetImmutable(const fs::path& file, bool immutable) {
  const int descriptor = open(file.c_str(), O_RDONLY);
  if (descriptor < 0) return false;
  int flags = 0;
  bool done = ioctl(descriptor, FS_IOC_GETFLAGS, &flags) == 0;
  if (done) {
    flags = immutable ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = ioctl(descriptor, FS_IOC_SETFLAGS, &flags) == 0;
  }
  close(descriptor);
  return done;
}

}  // namespace

std::optional<TStoredTimes> StoredTimes(const fs::path& path) {
  struct stat status;
  if (lstat(path.c_str(), &status) != 0) return std::nullopt;
  return TStoredTimes{ToFileTime(status.st_mtim), ToFileTime(status.st_atim)};
}

std::uint32_t StoredAttributes(const fs::path& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 ? status.st_mode : 0;
}

void MakeReadOnlyHidden(const fs::path& path) {
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
}

bool MakeLink(const fs::path& link, const fs::path& target, TLinkTarget) {
  return symlink(target.c_str(), link.c_str()) == 0;
}

TUndeletableFile::TUndeletableFile(const fs::path& file) {
  if (geteuid() == 0) {
    if (SetImmutable(file, true)) fRelease = [file] { SetImmutable(file, false); };
    return;
  }
  const fs::path directory = file.parent_path();
  std::error_code error;
  fs::permissions(directory, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove, error);
  if (!error) fRelease = [directory] { fs::permissions(directory, fs::perms::owner_write, fs::perm_options::add); };
}

TImmutableFile::TImmutableFile(const fs::path& file) {
  if (SetImmutable(file, true)) fRelease = [file] { SetImmutable(file, false); };
}

TExclusivelyOpenFile::TExclusivelyOpenFile(const fs::path& file) {
  // POSIX knows no sharing modes: an open descriptor is all another process can hold.
  const int descriptor = open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (descriptor >= 0) fRelease = [descriptor] { close(descriptor); };
}
