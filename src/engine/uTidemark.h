#pragma once
// The pack-time engine: walks directory trees, recognises repository directories, and sets
// the last-write time of every pack that has an index back to the index's time.

#include <cstdint>
#include <functional>

#include "engine/EngineFileSystem.h"
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
  // One walk of Process, with all its working values.
  class TWalk;

  void DoLogEvent(TLogEvent Event, const String& Value);

  TLogEventEvent fOnLogEvent;
  TEngineFileSystem& fFileSystem;
};
