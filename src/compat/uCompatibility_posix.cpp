#include <sys/stat.h>

#include "compat/uCompatibility.h"
#include "compat/uCompatibility_platform.h"
#include "rtl/FileSystem.h"
#include "rtl/Utf8.h"

namespace {

TFileTime ToFileTime(const timespec& time) {
  return TFileTime{static_cast<std::int64_t>(time.tv_sec), static_cast<std::uint32_t>(time.tv_nsec)};
}

// A link whose target cannot be reached still has times of its own.
bool StatusOf(const std::string& name, struct stat& status) {
  return stat(name.c_str(), &status) == 0 || lstat(name.c_str(), &status) == 0;
}

}  // namespace

bool GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime, TFileTime& LastAccessTime) {
  CreationTime = LastWriteTime = LastAccessTime = TFileTime{};
  const std::string name = StringToUtf8Bytes(FileName);
  struct stat status;
  if (!StatusOf(name, status)) {
    // A name with wildcards gives the times of the first entry that matches it, as a search
    // delivers them.
    const TFileSearch search(FileName);
    if (!search.Found()) return false;
    const std::string directory = name.substr(0, name.rfind('/') + 1);
    if (!StatusOf(directory + StringToUtf8Bytes(search.Entry().Name), status)) return false;
  }
  CreationTime = ToFileTime(status.st_ctim);
  LastWriteTime = ToFileTime(status.st_mtim);
  LastAccessTime = ToFileTime(status.st_atim);
  return true;
}

// There is no kernel32 here: every entry point stays null.
void LoadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints) { EntryPoints = {}; }

void UnloadOptionalEntryPoints(TOptionalEntryPoints& EntryPoints) { EntryPoints = {}; }
