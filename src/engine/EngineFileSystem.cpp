#include "engine/EngineFileSystem.h"

TDirectory::TDirectory(TDirectory&& Other) noexcept
    : fParent(Other.fParent),
      fName(std::move(Other.fName)),
      fDescriptor(std::exchange(Other.fDescriptor, NotOpen)),
      fIdentity(Other.fIdentity) {}

// Without recursion: a walk's chain of directories may be deeper than the stack.
String TDirectory::Path() const {
  std::size_t length = 0;
  for (const TDirectory* directory = this; directory != nullptr; directory = directory->fParent) {
    length += directory->fName.size();
  }
  String path(length, u'\0');
  for (const TDirectory* directory = this; directory != nullptr; directory = directory->fParent) {
    length -= directory->fName.size();
    path.replace(length, directory->fName.size(), directory->fName);
  }
  return path;
}

bool TRealEngineFileSystem::GetFileTimes(const TDirectory& Directory, const String& FileName, TFileTime& CreationTime,
                                         TFileTime& LastWriteTime, TFileTime& LastAccessTime) {
  return Directory.GetFileTimes(FileName, CreationTime, LastWriteTime, LastAccessTime);
}

bool TRealEngineFileSystem::SetFileLastWriteTime(const TDirectory& Directory, const String& FileName,
                                                 const TFileTime& LastWriteTime) {
  return Directory.SetFileLastWriteTime(FileName, LastWriteTime);
}

bool TRealEngineFileSystem::IsSlowRead(TDuration Duration, std::size_t Entries) {
  // From the cache a read takes a few microseconds and a little more for each entry; one that
  // waits for a disk takes a hundred and more.
  constexpr std::chrono::microseconds Cached{20};
  constexpr std::chrono::nanoseconds CachedPerEntry{50};
  return Duration > Cached + CachedPerEntry * static_cast<std::int64_t>(Entries);
}
