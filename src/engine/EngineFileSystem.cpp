#include "engine/EngineFileSystem.h"

TDirectory::TDirectory(TDirectory&& Other) noexcept
    : fPath(std::move(Other.fPath)),
      fDescriptor(std::exchange(Other.fDescriptor, NotOpen)),
      fIdentity(Other.fIdentity) {}

bool TRealEngineFileSystem::GetFileTimes(const TDirectory& Directory, const String& FileName, TFileTime& CreationTime,
                                         TFileTime& LastWriteTime, TFileTime& LastAccessTime) {
  return Directory.GetFileTimes(FileName, CreationTime, LastWriteTime, LastAccessTime);
}

bool TRealEngineFileSystem::SetFileLastWriteTime(const TDirectory& Directory, const String& FileName,
                                                 const TFileTime& LastWriteTime) {
  return Directory.SetFileLastWriteTime(FileName, LastWriteTime);
}
