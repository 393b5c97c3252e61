#include <sys/stat.h>

#include "compat/uCompatibility.h"
#include "compat/uCompatibility_platform.h"
#include "rtl/Utf8.h"

namespace {

TFileTime ToFileTime(const timespec& time) {
  return TFileTime{static_cast<std::int64_t>(time.tv_sec), static_cast<std::uint32_t>(time.tv_nsec)};
}

}  // namespace

bool GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime, TFileTime& LastAccessTime) {
  CreationTime = LastWriteTime = LastAccessTime = TFileTime{};
  const std::string name = StringToUtf8Bytes(FileName);
  struct stat status;
  // A link whose target cannot be reached still has times of its own.
  if (stat(name.c_str(), &status) != 0 && lstat(name.c_str(), &status) != 0) return false;
  CreationTime = ToFileTime(status.st_ctim);
  LastWriteTime = ToFileTime(status.st_mtim);
  LastAccessTime = ToFileTime(status.st_atim);
  return true;
}

// There is no kernel32 here: every entry point stays null.
void LoadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints) { EntryPoints = {}; }

void UnloadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints) { EntryPoints = {}; }
