#include "engine/uTidemark.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <exception>
#include <optional>
#include <vector>

#include "engine/ReadAhead.h"
#include "rtl/FileSystem.h"
#include "rtl/Path.h"

namespace {

// What the walk does with the subdirectories of a directory.
enum class TWalkMode : std::uint8_t {
  Main,     // visits each and tests it for a repository; descends further only when recursive
  Modules,  // tests each for a repository and descends into all of them, at any depth
};

// A subdirectory that the walk will enter.
struct TLinedUp {
  String Name;
  TReadAhead::TRequest* Request = nullptr;  // while it is being read ahead
};

// How the read-ahead is to forecast what the walk reads below a directory.
enum class TForecastMode : std::uint8_t { Flat, Recursive, Modules };

// One directory on the current walk path.
struct TWalkLevel {
  TDirectory Directory;
  std::size_t PathLength;  // its path is the walk's current path up to here
  TWalkMode ChildMode;
  std::vector<TLinedUp> Subdirectories = {};  // those to walk, in listing order
  std::size_t Next = 0;                       // the first of them not walked yet
  std::size_t ReadingAhead = 0;               // how many from Next on are being read ahead
  bool RepositoryOpen = false;                // its start event reported, its end event not yet
};

// The walk keeps this many levels' directories open at most. Deeper down it gives up those of
// the levels nearest the start, and opens them again on the way back, so that no depth runs
// out of handles.
constexpr std::size_t MaxOpenLevels = 64;

// Reading ahead: the walk waits for one directory at a time, and on a cold cache or a network
// share each read waits for the disk or a round trip; readers that are mostly waiting want
// more threads than there are cores (4 to 64 measured on the benchmark's cold trees: 16 and
// more did best, and each reader costs memory; readers start only as work outgrows them).
// The window is how many of the directories the walk will enter next are read ahead, each
// holding its directory open and its listing.
constexpr std::size_t ReadAheadThreads = 16;
constexpr std::size_t ReadAheadWindow = 64;
// Handing a directory to a reader and back costs more than reading it from the cache, so the
// walk reads ahead only once a few reads in a row were slow (one alone may have waited for
// the processor rather than the disk), until many in a row were fast.
constexpr std::size_t SlowReadsToStartReadingAhead = 3;
constexpr std::size_t FastReadsToStopReadingAhead = 32;

const String PackDirectory = String(u"objects") + PathDelim + u"pack";

TEngineFileSystem& RealFileSystem() {
  static TRealEngineFileSystem fileSystem;
  return fileSystem;
}

}  // namespace

// The walk runs on a stack of levels rather than by recursion, so that no depth of tree runs
// out of stack. Each directory is read once, when it is entered; its tests go by that
// listing, and only the names of its subdirectories are kept while the walk is below it.
class TTidemark::TWalk {
public:
  TWalk(TTidemark& Engine, bool Recursive) : fEngine(Engine), fRecursive(Recursive) {}

  bool Run(const String& Start) {
    fPath = Start;
    try {
      TDirectory start = TDirectory::Open(Start);
      fEngine.DoLogEvent(TLogEvent::evtDirectoryVisited, fPath);
      TWalkLevel& level = Enter(std::move(start), TWalkMode::Main);
      ProcessDirectory(level, ReadEntered(level, TWalkMode::Main));
      while (!fLevels.empty()) {
        if (fLevels.back().Next == fLevels.back().Subdirectories.size()) {
          Leave();
        } else {
          WalkInto(fLevels.back());
        }
      }
    } catch (...) {
      // The readers go first: they may be reading in the directories about to be closed.
      fReadAhead.reset();
      CloseRepositoriesAndRethrow();
    }
    return fResult;
  }

private:
  // "objects" is not tested on its own: "objects/pack" can only be a directory inside one.
  bool IsGitDirectory(const TDirectory& Dir, const TDirectoryListing* Listing) const {
    return Dir.FileExists(u"index", Listing) && Dir.FileExists(u"HEAD", Listing) &&
           Dir.DirectoryExists(PackDirectory, Listing);
  }

  // Enters the next subdirectory of Parent: opens and reads it, or takes it from the readers.
  // The steps and events are those of a walk that reads each directory only when it enters.
  void WalkInto(TWalkLevel& Parent) {
    TLinedUp& next = Parent.Subdirectories[Parent.Next++];
    fPath.resize(Parent.PathLength);
    (fPath += next.Name) += PathDelim;
    TReadAhead::TRequest* const request = std::exchange(next.Request, nullptr);
    if (request != nullptr) --Parent.ReadingAhead;
    // The directory about to be entered is not among those read ahead: handing it to a reader
    // now and waiting for it would only add the hand-over.
    if (fReadsAreSlow) ReadAhead();
    bool listed = false;
    TReadAhead::TDuration readTime{};
    // Listed as a directory, not a link; a link that has taken its place since is not
    // followed either.
    std::optional<TDirectory> subdirectory =
        request != nullptr ? fReadAhead->Take(request, fListing, listed, readTime)
                           : std::optional<TDirectory>(std::in_place, Parent.Directory.OpenSubdirectory(
                                                                          next.Name, nullptr, TLastLink::Refuse));
    const TWalkMode mode = Parent.ChildMode;
    if (mode == TWalkMode::Main) fEngine.DoLogEvent(TLogEvent::evtDirectoryVisited, fPath);
    // Asked after the event, which is when the walk would read it.
    const bool readAhead = request != nullptr && subdirectory && subdirectory->StandsAsRead(fListing);
    if (request != nullptr && !readAhead) {
      subdirectory.reset();
      subdirectory.emplace(Parent.Directory.OpenSubdirectory(next.Name, nullptr, TLastLink::Refuse));
    }
    TWalkLevel& level = Enter(std::move(*subdirectory), mode);
    if (readAhead) {
      Timed(readTime, fListing.Count());
    } else {
      listed = ReadEntered(level, mode);
    }
    if (mode == TWalkMode::Main) {
      ProcessDirectory(level, listed);
    } else {
      ProcessModulesDirectory(level, listed);
    }
  }

  // Reads the directory of Level, just entered in Mode, for the walk itself. Below one that
  // took long the read-ahead looks as below one it read.
  bool ReadEntered(TWalkLevel& Level, TWalkMode Mode) {
    const auto start = std::chrono::steady_clock::now();
    const bool listed = Level.Directory.Read(fListing);
    const TReadAhead::TDuration readTime = std::chrono::steady_clock::now() - start;
    Timed(readTime, fListing.Count());
    if (fReadsAreSlow) {
      Readers().ForecastBelow(Level.Directory, fListing, listed, ModeOf(Mode), fLevels.size() - 1, readTime);
    }
    return listed;
  }

  // Counts the read of a directory of Entries entries that took ReadTime.
  void Timed(TReadAhead::TDuration ReadTime, std::size_t Entries) {
    const bool slow = fEngine.fFileSystem.IsSlowRead(ReadTime, Entries);
    fSlowReadsInARow = slow ? fSlowReadsInARow + 1 : 0;
    fFastReadsInARow = slow ? 0 : fFastReadsInARow + 1;
    if (fSlowReadsInARow >= SlowReadsToStartReadingAhead) fReadsAreSlow = true;
    if (fFastReadsInARow >= FastReadsToStopReadingAhead) fReadsAreSlow = false;
  }

  // Made when reads first turn out slow.
  TReadAhead& Readers() {
    // One request more than the window: WalkInto refills it before it takes the one it enters.
    if (!fReadAhead) fReadAhead.emplace(ReadAheadThreads, ReadAheadWindow + 1, Forecast, fEngine.fFileSystem);
    return *fReadAhead;
  }

  // The main walk's step in Level, just entered and read: processes the repository it is or
  // holds, or lines up its subdirectories.
  void ProcessDirectory(TWalkLevel& Level, bool Listed) {
    const TDirectoryListing* listing = Listed ? &fListing : nullptr;
    if (IsGitDirectory(Level.Directory, listing)) {
      ProcessGitDirectory(Level, listing);
      return;
    }
    // Below a repository the working tree is never searched for further repositories.
    TDirectory dotGit = Level.Directory.OpenSubdirectory(u".git", listing);
    if (dotGit.IsOpen() && IsGitDirectory(dotGit, nullptr)) {
      (fPath += u".git") += PathDelim;
      ProcessGitDirectory(Enter(std::move(dotGit), TWalkMode::Modules), nullptr);
    } else if (fRecursive) {
      LineUpSubdirectories(Level);
    }
  }

  // Starts the repository directory of Level: its packs now, its "modules" subtree as the
  // level's only subdirectory. Its end event comes when the walk leaves the level, after
  // that subtree.
  void ProcessGitDirectory(TWalkLevel& Level, const TDirectoryListing* Listing) {
    fEngine.DoLogEvent(TLogEvent::evtGitDirectoryStart, fPath);
    Level.RepositoryOpen = true;
    ProcessPackFiles(Level.Directory);
    Level.ChildMode = TWalkMode::Modules;
    if (Listing != nullptr && !Listing->MayContain(u"modules")) return;
    if (Level.Directory.KindOf(u"modules").IsDirectory) Level.Subdirectories.push_back({u"modules"});
  }

  // The step of a "modules" subtree: a repository found here is done at once, so pairs found
  // here follow one another and never nest; then the walk goes into every subdirectory,
  // where a nested "modules" directory is met as any other.
  void ProcessModulesDirectory(TWalkLevel& Level, bool Listed) {
    if (IsGitDirectory(Level.Directory, Listed ? &fListing : nullptr)) {
      fEngine.DoLogEvent(TLogEvent::evtGitDirectoryStart, fPath);
      Level.RepositoryOpen = true;
      ProcessPackFiles(Level.Directory);
      Level.RepositoryOpen = false;
      fEngine.DoLogEvent(TLogEvent::evtGitDirectoryEnd, fPath);
    }
    LineUpSubdirectories(Level);
  }

  void ProcessPackFiles(const TDirectory& GitDir) {
    const TDirectory packDir = GitDir.OpenSubdirectory(PackDirectory);
    const TDirectoryListing* listing = packDir.Read(fPackListing) ? &fPackListing : nullptr;
    for (std::size_t i = 0; i < fPackListing.Count(); ++i) {
      if (!fPackListing.NameMatches(i, u"pack-*.pack")) continue;
      // A time is only ever set on a file of the pack directory's own: a link in a pack's
      // place could lead to any file, and its owner would choose that file's time.
      const TEntryKind kind = packDir.KindOfEntry(fPackListing, i);
      if (kind.IsDirectory || kind.IsLink) continue;
      const String packFile = fPackListing.Name(i);
      const String idxFile = ChangeFileExt(packFile, u".idx");
      if (packDir.FileIsGone(idxFile, listing)) continue;
      TFileTime unused, packTime, idxTime;
      TEngineFileSystem& fileSystem = fEngine.fFileSystem;
      if (!fileSystem.GetFileTimes(packDir, packFile, unused, packTime, unused) ||
          !fileSystem.GetFileTimes(packDir, idxFile, unused, idxTime, unused)) {
        // A pack or index that went after the listing is passed over as if never there; one
        // that is still there but whose time cannot be read is a failure.
        if (!packDir.FileIsGone(packFile, nullptr) && !packDir.FileIsGone(idxFile, nullptr)) PackFailed(packFile);
      } else if (packTime == idxTime) {
        fEngine.DoLogEvent(TLogEvent::evtPackFileTimeNotChanged, packFile);
      } else if (fileSystem.SetFileLastWriteTime(packDir, packFile, idxTime)) {
        fEngine.DoLogEvent(TLogEvent::evtPackFileTimeChanged, packFile);
      } else {
        PackFailed(packFile);
      }
    }
  }

  void PackFailed(const String& PackFile) {
    fEngine.DoLogEvent(TLogEvent::evtPackFileTimeChangeFailed, PackFile);
    fResult = false;
  }

  // Keeps the names of Level's subdirectories from the listing just read. Links to
  // directories are not among them: a walk stays inside the tree it was given, which is all
  // that keeps it from wandering into other people's trees or round in circles.
  void LineUpSubdirectories(TWalkLevel& Level) {
    for (std::size_t i = 0; i < fListing.Count(); ++i) {
      if (Level.Directory.KindOfEntry(fListing, i).IsDirectory) Level.Subdirectories.push_back({fListing.Name(i)});
    }
  }

  String PathOf(const TWalkLevel& Level) const { return fPath.substr(0, Level.PathLength); }

  TWalkLevel& Enter(TDirectory Dir, TWalkMode ChildMode) {
    TWalkLevel& level = fLevels.emplace_back(TWalkLevel{std::move(Dir), fPath.size(), ChildMode});
    if (fLevels.size() - fFirstOpenLevel > MaxOpenLevels) {
      // No reader may go on using the handle given up.
      TWalkLevel& released = fLevels[fFirstOpenLevel++];
      while (released.ReadingAhead > 0) StopReadingAhead(released);
      released.Directory.Release();
    }
    return level;
  }

  // Has the directories that the walk will enter next read ahead, as many as the window
  // holds: the names lined up in the deepest levels first, as the walk goes deepest first.
  // Those that fall out of the window, as a level below lines up more, are given up.
  void ReadAhead() {
    TReadAhead& readers = Readers();
    // First what falls out of the window, then what comes in, so that there is room for it.
    std::size_t room = ReadAheadWindow;
    std::size_t lowest = fLevels.size();
    for (std::size_t i = fLevels.size(); i-- > fFirstOpenLevel && (room > 0 || i >= fLowestReadingAhead);) {
      TWalkLevel& level = fLevels[i];
      const std::size_t wanted = std::min(level.Subdirectories.size() - level.Next, room);
      while (level.ReadingAhead > wanted) StopReadingAhead(level);
      room -= wanted;
      if (wanted > 0) lowest = i;
    }
    fLowestReadingAhead = lowest;
    room = ReadAheadWindow;
    for (std::size_t i = fLevels.size(); i-- > fFirstOpenLevel && room > 0;) {
      TWalkLevel& level = fLevels[i];
      const std::size_t wanted = std::min(level.Subdirectories.size() - level.Next, room);
      while (level.ReadingAhead < wanted) {
        TLinedUp& next = level.Subdirectories[level.Next + level.ReadingAhead++];
        next.Request = readers.Request(level.Directory, next.Name, i, ModeOf(level.ChildMode));
      }
      room -= wanted;
    }
  }

  // How a subdirectory entered in Mode goes to the read-ahead, for Forecast.
  std::uint8_t ModeOf(TWalkMode Mode) const {
    return static_cast<std::uint8_t>(Mode == TWalkMode::Modules ? TForecastMode::Modules
                                     : fRecursive                ? TForecastMode::Recursive
                                                                 : TForecastMode::Flat);
  }

  // What the walk will surely read below a directory entered in Mode (as ModeOf gives it)
  // with Listing: the directories that the repository tests look into, for a directory
  // that may be a repository directory (it has an "index") or a working tree (a ".git"),
  // and every subdirectory of one that is neither, or of one in a "modules" subtree.
  static TReadAhead::TForecast Forecast(const TDirectoryListing& Listing, std::uint8_t Mode) {
    TReadAhead::TForecast forecast;
    const bool modules = Mode == static_cast<std::uint8_t>(TForecastMode::Modules);
    if (Listing.MayContain(u"index")) {
      forecast.Tests = {u"objects", PackDirectory};
    } else if (!modules && Listing.MayContain(u".git")) {
      forecast.Tests = {u".git", String(u".git") + PathDelim + u"objects", String(u".git") + PathDelim + PackDirectory};
    } else {
      forecast.EverySubdirectory = Mode != static_cast<std::uint8_t>(TForecastMode::Flat);
    }
    forecast.EverySubdirectory = forecast.EverySubdirectory || modules;
    return forecast;
  }

  // Gives up the last of Level's subdirectories being read ahead.
  void StopReadingAhead(TWalkLevel& Level) {
    TLinedUp& last = Level.Subdirectories[Level.Next + --Level.ReadingAhead];
    fReadAhead->Withdraw(std::exchange(last.Request, nullptr));
  }

  void Leave() {
    TWalkLevel& level = fLevels.back();
    if (level.RepositoryOpen) {
      level.RepositoryOpen = false;
      fEngine.DoLogEvent(TLogEvent::evtGitDirectoryEnd, PathOf(level));
    }
    if (fFirstOpenLevel > 0 && fFirstOpenLevel == fLevels.size() - 1) {
      fLevels[--fFirstOpenLevel].Directory.ReopenFrom(level.Directory);
    }
    fLevels.pop_back();
  }

  // On the way out of an exception, every repository still open gets its end event, the
  // innermost first. An end event that throws in turn does not keep the outer ones from
  // theirs; the last exception thrown is the one that passes on.
  [[noreturn]] void CloseRepositoriesAndRethrow() {
    std::exception_ptr failure = std::current_exception();
    for (; !fLevels.empty(); fLevels.pop_back()) {
      TWalkLevel& level = fLevels.back();
      if (!level.RepositoryOpen) continue;
      level.RepositoryOpen = false;
      try {
        fEngine.DoLogEvent(TLogEvent::evtGitDirectoryEnd, PathOf(level));
      } catch (...) {
        failure = std::current_exception();
      }
    }
    std::rethrow_exception(failure);
  }

  TTidemark& fEngine;
  const bool fRecursive;
  bool fResult = true;
  // From the start directory down to the one being walked; levels before fFirstOpenLevel
  // have given up their handles.
  std::deque<TWalkLevel> fLevels;
  std::size_t fFirstOpenLevel = 0;
  // The path of the directory last entered. Kept here, one name added or taken at a time,
  // because events carry full paths and building one from the levels' names every time
  // would cost the square of the depth in a deep walk.
  String fPath;
  TDirectoryListing fListing;      // of the directory just entered
  TDirectoryListing fPackListing;  // of a repository's objects/pack
  // Made when reads first turn out slow; declared last, so that its readers have stopped
  // before the levels they read in go.
  std::optional<TReadAhead> fReadAhead;
  std::size_t fLowestReadingAhead = 0;  // no level below it has subdirectories read ahead
  std::size_t fSlowReadsInARow = 0;
  std::size_t fFastReadsInARow = 0;
  bool fReadsAreSlow = false;  // and the walk reads ahead
};

TTidemark::TTidemark() : TTidemark(RealFileSystem()) {}

TTidemark::TTidemark(TEngineFileSystem& FileSystem) : fFileSystem(FileSystem) {}

bool TTidemark::Process(const String& Directory, bool Recursive) {
  if (Directory.empty()) return false;
  const String expanded = ExpandFileName(Directory);
  // A relative start whose current directory is gone names no directory that exists; it must
  // not turn into the root either.
  if (expanded.empty()) {
    DoLogEvent(TLogEvent::evtDirectoryVisited, IncludeTrailingPathDelimiter(Directory));
    return true;
  }
  return TWalk(*this, Recursive).Run(IncludeTrailingPathDelimiter(expanded));
}

void TTidemark::DoLogEvent(TLogEvent Event, const String& Value) {
  if (fOnLogEvent) fOnLogEvent(*this, Event, Value);
}
