#include "engine/uTidemark.h"

#include "compat/uCompatibility.h"
#include "rtl/Path.h"

bool TRealEngineFileSystem::FileExists(const String& FileName) { return ::FileExists(FileName); }

bool TRealEngineFileSystem::DirectoryExists(const String& Directory) { return ::DirectoryExists(Directory); }

String TRealEngineFileSystem::ExpandFileName(const String& FileName) { return ::ExpandFileName(FileName); }

void TRealEngineFileSystem::ForEachEntry(const String& Pattern,
                                         const std::function<void(const TSearchEntry&)>& Visit) {
  for (TFileSearch search(Pattern); search.Found(); search.Next()) Visit(search.Entry());
}

bool TRealEngineFileSystem::GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime,
                                         TFileTime& LastAccessTime) {
  return ::GetFileTimes(FileName, CreationTime, LastWriteTime, LastAccessTime);
}

bool TRealEngineFileSystem::SetFileLastWriteTime(const String& FileName, const TFileTime& LastWriteTime) {
  return ::SetFileLastWriteTime(FileName, LastWriteTime);
}

std::optional<TFileIdentity> TRealEngineFileSystem::GetDirectoryIdentity(const String& Directory) {
  return ::GetFileIdentity(Directory);
}

// One directory on the current walk path, linked to the one it was entered from. Its
// identity is looked up only when a link has to be checked against the path, so plain
// directories cost nothing extra.
struct TTidemark::TWalkLevel {
  const String& Dir;
  const TWalkLevel* Parent;

  bool OnPath(const TFileIdentity& Directory, TEngineFileSystem& FileSystem) const {
    for (const TWalkLevel* level = this; level != nullptr; level = level->Parent) {
      if (!level->IdentityLookedUp) {
        level->Identity = FileSystem.GetDirectoryIdentity(level->Dir);
        level->IdentityLookedUp = true;
      }
      if (level->Identity == Directory) return true;
    }
    return false;
  }

  mutable std::optional<TFileIdentity> Identity = std::nullopt;
  mutable bool IdentityLookedUp = false;
};

namespace {

TEngineFileSystem& RealFileSystem() {
  static TRealEngineFileSystem fileSystem;
  return fileSystem;
}

}  // namespace

TTidemark::TTidemark() : TTidemark(RealFileSystem()) {}

TTidemark::TTidemark(TEngineFileSystem& FileSystem) : fFileSystem(FileSystem) {}

bool TTidemark::Process(const String& Directory, bool Recursive) {
  if (Directory.empty()) return false;
  const String expanded = fFileSystem.ExpandFileName(Directory);
  // Without a full path there is no start directory to speak of; an empty one would turn
  // into the root.
  if (expanded.empty()) return false;
  return ProcessDirectory(IncludeTrailingPathDelimiter(expanded), Recursive, nullptr);
}

void TTidemark::DoLogEvent(TLogEvent Event, const String& Value) {
  if (fOnLogEvent) fOnLogEvent(*this, Event, Value);
}

bool TTidemark::IsGitDirectory(const String& Dir) {
  return fFileSystem.FileExists(Dir + u"index") && fFileSystem.FileExists(Dir + u"HEAD") &&
         fFileSystem.DirectoryExists(Dir + u"objects") &&
         fFileSystem.DirectoryExists(Dir + u"objects" + PathDelim + u"pack");
}

bool TTidemark::ProcessDirectory(const String& Dir, bool Recursive, const TWalkLevel* Parent) {
  DoLogEvent(TLogEvent::evtDirectoryVisited, Dir);
  if (IsGitDirectory(Dir)) return ProcessGitDirectory(Dir, Parent);
  const TWalkLevel level{Dir, Parent};
  // Below a repository the working tree is never searched for further repositories.
  const String dotGit = Dir + u".git" + PathDelim;
  if (fFileSystem.DirectoryExists(Dir + u".git") && IsGitDirectory(dotGit)) return ProcessGitDirectory(dotGit, &level);
  bool result = true;
  if (Recursive) {
    ForEachSubdirectory(level, [&](const String& subdirectory) {
      if (!ProcessDirectory(subdirectory, Recursive, &level)) result = false;
    });
  }
  return result;
}

bool TTidemark::ProcessGitDirectory(const String& GitDir, const TWalkLevel* Parent) {
  const TWalkLevel level{GitDir, Parent};
  return WithinGitDirectory(GitDir, [&] {
    bool result = ProcessPackFiles(GitDir);
    if (fFileSystem.DirectoryExists(GitDir + u"modules") &&
        !ProcessModulesDirectory(GitDir + u"modules" + PathDelim, &level)) {
      result = false;
    }
    return result;
  });
}

bool TTidemark::ProcessModulesDirectory(const String& Dir, const TWalkLevel* Parent) {
  bool result = true;
  // The pair closes before the descent, so pairs found here follow one another and never
  // nest; a nested "modules" directory is met by the descent itself.
  if (IsGitDirectory(Dir)) result = WithinGitDirectory(Dir, [&] { return ProcessPackFiles(Dir); });
  const TWalkLevel level{Dir, Parent};
  ForEachSubdirectory(level, [&](const String& subdirectory) {
    if (!ProcessModulesDirectory(subdirectory, &level)) result = false;
  });
  return result;
}

bool TTidemark::ProcessPackFiles(const String& GitDir) {
  bool result = true;
  const String packDir = GitDir + u"objects" + PathDelim + u"pack" + PathDelim;
  fFileSystem.ForEachEntry(packDir + u"pack-*.pack", [&](const TSearchEntry& entry) {
    if (entry.IsDirectory()) return;
    const String packFile = packDir + entry.Name;
    const String idxFile = packDir + ChangeFileExt(entry.Name, u".idx");
    if (!fFileSystem.FileExists(idxFile)) return;
    TFileTime unused, packTime, idxTime;
    if (!fFileSystem.GetFileTimes(packFile, unused, packTime, unused) ||
        !fFileSystem.GetFileTimes(idxFile, unused, idxTime, unused)) {
      DoLogEvent(TLogEvent::evtPackFileTimeChangeFailed, entry.Name);
      result = false;
    } else if (packTime == idxTime) {
      DoLogEvent(TLogEvent::evtPackFileTimeNotChanged, entry.Name);
    } else if (fFileSystem.SetFileLastWriteTime(packFile, idxTime)) {
      DoLogEvent(TLogEvent::evtPackFileTimeChanged, entry.Name);
    } else {
      DoLogEvent(TLogEvent::evtPackFileTimeChangeFailed, entry.Name);
      result = false;
    }
  });
  return result;
}

bool TTidemark::WithinGitDirectory(const String& GitDir, const std::function<bool()>& Body) {
  DoLogEvent(TLogEvent::evtGitDirectoryStart, GitDir);
  bool result;
  // Not a destructor: the end event goes to the callback, which may throw in turn, and that
  // exception must reach the caller like any other.
  try {
    result = Body();
  } catch (...) {
    DoLogEvent(TLogEvent::evtGitDirectoryEnd, GitDir);
    throw;
  }
  DoLogEvent(TLogEvent::evtGitDirectoryEnd, GitDir);
  return result;
}

void TTidemark::ForEachSubdirectory(const TWalkLevel& Level, const std::function<void(const String&)>& Visit) {
  fFileSystem.ForEachEntry(Level.Dir + String(AllFilesMask), [&](const TSearchEntry& entry) {
    if (!entry.IsDirectory() || entry.Name == u"." || entry.Name == u"..") return;
    const String subdirectory = Level.Dir + entry.Name + PathDelim;
    if (entry.IsLink) {
      const std::optional<TFileIdentity> target = fFileSystem.GetDirectoryIdentity(subdirectory);
      if (target && Level.OnPath(*target, fFileSystem)) return;
    }
    Visit(subdirectory);
  });
}
