#pragma once
// The pack-time engine: walks directory trees, recognises repository directories, and sets
// the last-write time of every pack that has an index back to the index's time.

#include <cstdint>
#include <functional>
#include <optional>

#include "rtl/FileSystem.h"
#include "rtl/String.h"

enum class TLogEvent : std::uint8_t {
  evtDirectoryVisited,         // the main walk arrived at a directory; Value: its full path
  evtGitDirectoryStart,        // a repository directory begins; Value: its full path
  evtGitDirectoryEnd,          // that repository directory has ended; Value: the same path
  evtPackFileTimeNotChanged,   // pack already at its index's time; Value: the pack's name
  evtPackFileTimeChanged,      // pack set to its index's time; Value: the pack's name
  evtPackFileTimeChangeFailed  // times unreadable or the change refused; Value: the pack's name
};

class TTidemark;
// Called for each event, synchronously and in order; empty means unassigned.
using TLogEventEvent = std::function<void(TTidemark& Sender, TLogEvent Event, const String& Value)>;

// What the engine asks of the file system. The engine works on the real one; tests put a
// fake in its place for cases a real tree cannot produce.
class TEngineFileSystem {
public:
  virtual ~TEngineFileSystem() = default;

  // Existence tests that follow links.
  virtual bool FileExists(const String& FileName) = 0;
  virtual bool DirectoryExists(const String& Directory) = 0;
  // The absolute form of FileName; empty when it cannot be formed.
  virtual String ExpandFileName(const String& FileName) = 0;
  // Calls Visit for every entry matching Pattern, in the file system's order; for none when
  // the search cannot start. The search is closed also when Visit throws.
  virtual void ForEachEntry(const String& Pattern, const std::function<void(const TSearchEntry&)>& Visit) = 0;
  // False, with zero times, when the times cannot be read.
  virtual bool GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime,
                            TFileTime& LastAccessTime) = 0;
  // Sets only the last-write time; false when the file cannot be opened for it or the time
  // is refused.
  virtual bool SetFileLastWriteTime(const String& FileName, const TFileTime& LastWriteTime) = 0;
  // Who the directory Directory is, following links; nothing when it cannot be opened.
  virtual std::optional<TFileIdentity> GetDirectoryIdentity(const String& Directory) = 0;
};

// The platform's file system.
class TRealEngineFileSystem : public TEngineFileSystem {
public:
  bool FileExists(const String& FileName) override;
  bool DirectoryExists(const String& Directory) override;
  String ExpandFileName(const String& FileName) override;
  void ForEachEntry(const String& Pattern, const std::function<void(const TSearchEntry&)>& Visit) override;
  bool GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime,
                    TFileTime& LastAccessTime) override;
  bool SetFileLastWriteTime(const String& FileName, const TFileTime& LastWriteTime) override;
  std::optional<TFileIdentity> GetDirectoryIdentity(const String& Directory) override;
};

class TTidemark {
public:
  // Works on the platform's file system.
  TTidemark();
  // Works on FileSystem, which must outlive the engine.
  explicit TTidemark(TEngineFileSystem& FileSystem);

  const TLogEventEvent& OnLogEvent() const { return fOnLogEvent; }
  void SetOnLogEvent(TLogEventEvent value) { fOnLogEvent = std::move(value); }

  // Processes one start directory (relative paths are taken against the current directory).
  // Returns true when every pack met was handled; false for an empty Directory (no event)
  // or when the times of at least one pack could not be read or set. An exception thrown by
  // the callback passes out, after every repository start event has had its end event.
  bool Process(const String& Directory, bool Recursive);

private:
  struct TWalkLevel;

  void DoLogEvent(TLogEvent Event, const String& Value);
  bool IsGitDirectory(const String& Dir);
  bool ProcessDirectory(const String& Dir, bool Recursive, const TWalkLevel* Parent);
  bool ProcessGitDirectory(const String& GitDir, const TWalkLevel* Parent);
  bool ProcessModulesDirectory(const String& Dir, const TWalkLevel* Parent);
  bool ProcessPackFiles(const String& GitDir);
  // Reports the start of the repository directory GitDir, runs Body and reports its end,
  // also when Body throws.
  bool WithinGitDirectory(const String& GitDir, const std::function<bool()>& Body);
  // Calls Visit with the path (ending in a delimiter) of each subdirectory of Level's
  // directory, except links that lead back to a directory on the current walk path.
  void ForEachSubdirectory(const TWalkLevel& Level, const std::function<void(const String&)>& Visit);

  TLogEventEvent fOnLogEvent;
  TEngineFileSystem& fFileSystem;
};
