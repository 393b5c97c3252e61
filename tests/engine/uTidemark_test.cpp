// The engine over trees described in a line of text, its events matched by a walk by full paths;
// trees past the path limit; directories that change after they were read ahead.
#include "engine/uTidemark.h"

#include <atomic>
#include <chrono>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "compat/uCompatibility.h"
#include "rtl/Exceptions.h"
#include "rtl/Utf8.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;
using enum TLogEvent;

namespace {

struct TEvent {
  TLogEvent Event;
  String Value;
  bool operator==(const TEvent&) const = default;
};
void PrintTo(const TEvent& e, std::ostream* out) { *out << int(e.Event) << " " << StringToUtf8Bytes(e.Value); }

// The real file system, but for the full paths it is told to fail on; every read counts as
// slow, so that the walk reads ahead as on a cold tree; it notes whether a reader read, and the
// number of entries of each read the walk judged.
struct TFaultyFileSystem : TRealEngineFileSystem {
  std::set<String> Unreadable, Refused;
  const std::thread::id Walker = std::this_thread::get_id();
  std::atomic<bool> ReadAhead = false;
  std::vector<std::size_t> WalkerReads;
  bool GetFileTimes(const TDirectory& dir, const String& name, TFileTime& c, TFileTime& w, TFileTime& a) override {
    return !Unreadable.contains(dir.Path() + name) && TRealEngineFileSystem::GetFileTimes(dir, name, c, w, a);
  }
  bool SetFileLastWriteTime(const TDirectory& dir, const String& name, const TFileTime& time) override {
    return !Refused.contains(dir.Path() + name) && TRealEngineFileSystem::SetFileLastWriteTime(dir, name, time);
  }
  bool IsSlowRead(TDuration, std::size_t entries) override {
    if (std::this_thread::get_id() != Walker) ReadAhead = true;
    else WalkerReads.push_back(entries);
    return true;
  }
};

class Engine : public TempDirTest {
protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fEngine.SetOnLogEvent([this](TTidemark&, TLogEvent event, const String& value) {
      fEvents.push_back({event, value});
      if (fOnEvent) fOnEvent(fEvents.back());
    });
  }
  bool Run(const String& start, bool recursive = true) {
    fEvents.clear();
    return fEngine.Process(start, recursive);
  }
  fs::path At(std::string relative) const {  // a path of a description, below the base: UTF-8, '*' for a blank
    std::ranges::replace(relative, '*', ' ');
    return (Root() / fBase / ToPath(Utf8BytesToString(relative))).make_preferred();
  }
  String Dir(const std::string& relative) const { return IncludeTrailingPathDelimiter(ToString(At(relative))); }
  static TFileTime Time(const fs::path& path) { return StoredTimes(path)->LastWrite; }

  // Builds a tree from a description, items apart by blanks:
  //   dir/  a directory     file  an empty file     at->to  a link (to/: to a directory)
  //   g!    a repository directory: index, HEAD, objects/pack/
  //   g!p   in it pack-p.pack and its index, at its time; before the name + sets it a tick off,
  //         ^ too and read-only, % too and refuses its change; ? fails its time, # its index's
  // False when a link cannot be made here.
  bool Make(const std::string& tree) {
    std::istringstream items(tree);
    for (std::string item; items >> item;) {
      const std::size_t arrow = item.find("->"), bang = item.find('!');
      const std::string to = arrow == std::string::npos ? "" : item.substr(arrow + 2), name = item.substr(bang + 1);
      const fs::path path = At(item.substr(0, std::min(arrow, bang)));
      fs::create_directories(bang != std::string::npos ? path / "objects/pack" : to.empty() && item.ends_with('/') ? path : path.parent_path());
      if (!to.empty() && (fs::remove(path), !MakeLink(path, At(to.substr(0, to.find_last_not_of('/') + 1)), to.ends_with('/')))) return false;
      std::istringstream files(bang != std::string::npos ? (fs::exists(path / "HEAD") ? "" : "index HEAD") : to.empty() && !item.ends_with('/') ? "." : "");
      for (std::string file; files >> file;) std::ofstream(file == "." ? path : path / file) << "ref: main\n";
      const char kind = std::string_view("+^%?#").find(name[0]) == std::string_view::npos ? '=' : name[0];
      if (bang == std::string::npos || name.empty()) continue;
      const fs::path pack = At(item.substr(0, bang) + "/objects/pack/pack-" + name.substr(kind != '=') + ".pack"), index = fs::path(pack).replace_extension(".idx");
      for (const fs::path& file : {index, pack}) std::ofstream(file) << "pack";
      EXPECT_TRUE(SetFileLastWriteTime(ToString(pack), TFileTime{Time(index).High, Time(index).Low ^ (kind == '+' || kind == '^' || kind == '%')}));
      if (kind == '^') MakeReadOnly(pack);
      (kind == '%' ? fFileSystem.Refused : fFileSystem.Unreadable).insert(kind == '%' || kind == '?' ? ToString(pack) : kind == '#' ? ToString(index) : u"");
    }
    return true;
  }

  TFaultyFileSystem fFileSystem;
  TTidemark fEngine{fFileSystem};
  std::vector<TEvent> fEvents;
  std::function<void(const TEvent&)> fOnEvent;  // after each event is recorded
  std::string fBase;
};

// Trees for the walks below: submodules at any depth of "modules" (and only there); a start that is no directory; every
// kind of pack with an index and those passed over; links to directories as the start, a working tree's .git, objects
// or objects/pack, and below the start, loops included, none to enter; packs that are links.
const std::string Cases[] = {
    "w/.git!+a w/.git/other/.git!b w/src/in/.git!c w/.git/modules/s!d w/.git/modules/s/modules/t!+e w/.git/modules/d/u!f w/.git/modules/d/x/",
    "r!",
    "g!eq g!+tick g!^ro g!?unread g!#unidx g!%refused g/objects/pack/pack-noidx.pack g/objects/pack/pack-dir.pack/ "
    "g/objects/pack/pack-dir.idx g/objects/pack/pack-idxdir.pack g/objects/pack/pack-idxdir.idx/ g/objects/pack/xpack-x.pack "
    "g/objects/pack/pack-x.pack.tmp g/objects/pack/pack-x.idx",
    "r/w/.git!a alias->r/ wt/.git->r/w/.git/ o1!b o2!c g/index g/HEAD g/objects->o1/objects/ h/index h/HEAD h/objects/pack->o2/objects/pack/",
    "t/d/w/.git!a t/l->t/d/ t/self->t/ t/d/up->t/ t/w/.git!b t/w/.git/modules/s!c t/w/.git/modules/l->t/w/.git/modules/s/ "
    "t/w/.git/modules/s/up->t/w/.git/ m/r!d t/m/.git!e t/m/.git/modules->m/",
    "g!+a e/d/ g!+todir g/objects/pack/pack-todir.pack->e/d/ g!+idxdir g/objects/pack/pack-idxdir.idx->e/d/",
    "g!+a e/f e/i g!+tofile g/objects/pack/pack-tofile.pack->e/f g!+dangling g/objects/pack/pack-dangling.pack->e/none "
    "g!+idxnone g/objects/pack/pack-idxnone.idx->e/none g!+idxlink g/objects/pack/pack-idxlink.idx->e/i",
};

}  // namespace

namespace {

// The walk as the rules give it, by full paths through the rtl's services: the oracle the engine must match event for
// event. Its searches list entries in the order of the listings; it changes no time, but takes each change as made.
struct TReferenceWalk {
  std::vector<TEvent> Events;
  bool Recursive;
  const TFaultyFileSystem& Faults;
  bool Result = true;

  static bool IsGitDirectory(const String& dir) {
    return FileExists(dir + u"index") && FileExists(dir + u"HEAD") && DirectoryExists(dir + NativePath(u"objects/pack"));
  }
  void Directory(const String& dir) {
    Events.push_back({evtDirectoryVisited, dir});
    if (IsGitDirectory(dir)) return GitDirectory(dir, true);
    if (DirectoryExists(dir + u".git") && IsGitDirectory(dir + NativePath(u".git/"))) return GitDirectory(dir + NativePath(u".git/"), true);
    for (const String& subdirectory : Subdirectories(Recursive ? dir : String())) Directory(subdirectory);
  }
  // A repository of the main walk, or a directory of a "modules" subtree, whose repositories end at once.
  void GitDirectory(const String& dir, bool main) {
    const bool repository = main || IsGitDirectory(dir);
    if (repository) Events.push_back({evtGitDirectoryStart, dir});
    for (TFileSearch search(dir + NativePath(u"objects/pack/pack-*.pack")); repository && search.Found(); search.Next()) {
      const String pack = dir + NativePath(u"objects/pack/") + search.Entry().Name, index = ChangeFileExt(pack, u".idx");
      TFileTime unused, packTime, indexTime;
      if (search.Entry().IsDirectory() || search.Entry().IsLink || !FileExists(index)) continue;
      const bool read = !Faults.Unreadable.contains(pack) && !Faults.Unreadable.contains(index) &&
                        GetFileTimes(pack, unused, packTime, unused) && GetFileTimes(index, unused, indexTime, unused);
      const TLogEvent event = !read || Faults.Refused.contains(pack) ? evtPackFileTimeChangeFailed : packTime == indexTime ? evtPackFileTimeNotChanged : evtPackFileTimeChanged;
      Result = Result && event != evtPackFileTimeChangeFailed;
      Events.push_back({event, search.Entry().Name});
    }
    if (repository && !main) Events.push_back({evtGitDirectoryEnd, dir});
    for (const String& subdirectory : Subdirectories(main ? String() : dir)) GitDirectory(subdirectory, false);
    if (main && DirectoryExists(dir + u"modules") && !IsLink(dir + u"modules")) GitDirectory(dir + u"modules" + PathDelim, false);
    if (main) Events.push_back({evtGitDirectoryEnd, dir});
  }
  static std::vector<String> Subdirectories(const String& dir) {  // links to directories are none to walk into
    std::vector<String> found;
    for (TFileSearch search(dir + String(AllFilesMask)); !dir.empty() && search.Found(); search.Next()) {
      const TSearchEntry& entry = search.Entry();
      if (entry.IsDirectory() && !entry.IsLink && entry.Name != u"." && entry.Name != u"..") found.push_back(dir + entry.Name + PathDelim);
    }
    return found;
  }
};

// With the trees above, the other layouts a walk tells apart: a .git that is a file, one without index, HEAD
// or objects/pack, names in other cases, letters beyond ASCII, blanks, a repository named directly, packs in capitals.
const std::string Varied = "a/.git a/s/.git!+p1 b/.git/HEAD b/.git/objects/pack/ b/s/.git!p2 c/.git/index c/.git/HEAD c/.git/objects/pack "
                           "c/x/.git/index c/x/.git/objects/pack/ d/.GIT!+p3 d/upper/INDEX d/upper/HEAD d/upper/objects/pack/ "
                           "na\xC3\xAFve/a*b/\xE3\x83\x87/.git!+p*4 e.git!p5 e.git/refs/heads/ g/.git!+p6 g/.git/objects/pack/PACK-C.PACK "
                           "g/.git/objects/pack/pack-c.idx";

}  // namespace

TEST_F(Engine, EventsMatchAWalkByFullPathsEventForEvent) {
  for (std::size_t i = 0; i <= 2 * std::size(Cases) + 1; ++i) {  // each twice, one below names with blanks and beyond ASCII
    fBase = (i % 2 ? "o n\xC3\xA9/c" : "c") + std::to_string(i / 2);
    EXPECT_TRUE(Make(i / 2 < std::size(Cases) ? Cases[i / 2] : Varied) || RunningUnderWine());  // Wine: a tree ends at its first link to a file
  }
  fBase.clear();
  // The narrower walks first, while packs are still off their index's time; the last finds them at it.
  for (const auto& [start, recursive] : std::vector<std::pair<std::string, bool>>{{"c0/w/.git", false}, {"c0/w/.git/modules", true}, {"c1/missing", true}, {"c3/alias", true}, {"", false}, {"", true}, {"", true}}) {
    SCOPED_TRACE(start + (recursive ? " -r" : ""));
    TReferenceWalk reference{{}, recursive, fFileSystem};
    reference.Directory(IncludeTrailingPathDelimiter(ExpandFileName(ToString(At(start)))));
    EXPECT_EQ(Run(ToString(At(start)), recursive), reference.Result);
    EXPECT_EQ(fEvents, reference.Events);  // event for event
    EXPECT_TRUE(!start.empty() || !recursive || fEvents.size() > 200) << fEvents.size();
  }
  // A callback that throws leaves no repository without its end event.
  fOnEvent = [&](const TEvent& e) { if (e.Event == evtGitDirectoryStart && e.Value == Dir("c0/w/.git/modules/s")) throw EAbort(); };
  EXPECT_THROW(Run(Dir("c0/w")), EAbort);
  EXPECT_EQ(fEvents.back(), (TEvent{evtGitDirectoryEnd, Dir("c0/w/.git")}));
  // An empty start names nothing; a relative one, against a current directory that is gone, is named as given.
  EXPECT_FALSE(Run(u"") || !fEvents.empty());
  if (OnWindows) return;  // Windows keeps a current directory from going
  MakeDir("gone");
  const TCurrentDirectory current(At("gone"));
  fs::remove(At("gone"));
  EXPECT_TRUE(Run(u"c0/w/src"));
  EXPECT_EQ(fEvents, (std::vector<TEvent>{{evtDirectoryVisited, u"c0/w/src/"}}));
}

// Past the path limit (PATH_MAX; MAX_PATH under Wine) and deeper than the walk keeps directories open, with siblings
// before and after the chain at each level; links to the top and to a repository elsewhere are not taken. POSIX: the
// chain moves away below a level whose handle the walk gave up, which it opens again by a path past the limit.
TEST_F(Engine, TreesPastThePathLimitAreWalkedToTheBottom) {
  const std::string name(RunningUnderWine() ? 25 : 120, 'd');
  const int depth = 100;
  ASSERT_TRUE(Make("top/.git!+deep elsewhere/.git!+elsewhere"));
  for (int level = 0; level < depth; ++level) {  // moving "top" down a level at a time: no path grows long
    fs::create_directories(At("wrapper/side" + std::to_string(level) + "/s"));
    if (level == 0 || level == depth * 2 / 3) MakeLink(At("wrapper/side" + std::to_string(level) + "/up"), At(level ? "elsewhere" : "top"), true);
    fs::rename(At("top"), At("wrapper/" + name));
    fs::create_directories(At("wrapper/later" + std::to_string(level) + "/s"));
    fs::rename(At("wrapper"), At("top"));
  }
  if (!OnWindows) fOnEvent = [&](const TEvent& e) {
    const TCurrentDirectory current(At("top"));
    for (int level = 0; e.Event == evtGitDirectoryStart && level < 36; ++level) fs::current_path(name);  // one name at a time: no path grows long
    if (e.Event == evtGitDirectoryStart) fs::rename(name, "../moved");
  };
  EXPECT_TRUE(Run(Dir("top")));
  String bottom = Dir("top");
  for (int level = 0; level < depth; ++level) bottom += ToString(name) + PathDelim;
  std::set<String> visits;
  for (const TEvent& e : fEvents) visits.insert(e.Event == evtDirectoryVisited ? e.Value : String());
  EXPECT_EQ(visits.size(), 5u * depth + 2);  // each once, and the blank of the other events
  EXPECT_TRUE(visits.contains(bottom));
  const String deepGit = bottom + NativePath(u".git/");
  std::erase_if(fEvents, [](const TEvent& e) { return e.Event == evtDirectoryVisited; });
  EXPECT_EQ(fEvents, (std::vector<TEvent>{{evtGitDirectoryStart, deepGit}, {evtPackFileTimeChanged, u"pack-deep.pack"}, {evtGitDirectoryEnd, deepGit}}));
  // Without a callback the same work is done.
  EXPECT_TRUE(TTidemark().Process(Dir("elsewhere"), true));
  EXPECT_EQ(Time(At("elsewhere/.git/objects/pack/pack-elsewhere.pack")), Time(At("elsewhere/.git/objects/pack/pack-elsewhere.idx")));
}

// A directory read ahead by another thread counts only while it still holds when the walk enters it, and then is
// not read again; three reads deep, as the read-ahead starts at the third slow read in a row.
TEST_F(Engine, ADirectoryThatChangesAfterItWasReadAheadIsWalkedAsItIsWhenEntered) {
  for (const char* name : {"a/old", "a/f", "a/g", "b/old", "b/f", "b/g"}) MakeDir(std::string("t/x/y/") + name);
  String changed;
  bool change = false;
  fOnEvent = [&](const TEvent& e) {
    if (e.Event != evtDirectoryVisited || !changed.empty() || (e.Value != Dir("t/x/y/a") && e.Value != Dir("t/x/y/b"))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // time for a reader to read the other one ahead
    if (!change) return;
    const std::string other = e.Value == Dir("t/x/y/a") ? "t/x/y/b" : "t/x/y/a";
    fs::remove(At(other) / "old");
    MakeDir(fs::path(other) / "new");
    changed = Dir(other);
  };
  // Unchanged, the walk judges the other's read ahead once; its own of the first twice (once more for what lies below).
  EXPECT_TRUE(Run(Dir("t")) && fFileSystem.ReadAhead && std::ranges::count(fFileSystem.WalkerReads, 3) == 3);
  change = true;
  EXPECT_TRUE(Run(Dir("t")));
  EXPECT_EQ(std::ranges::count(fEvents, TEvent{evtDirectoryVisited, changed + u"new" + PathDelim}), 1);
  EXPECT_EQ(std::ranges::count(fEvents, TEvent{evtDirectoryVisited, changed + u"old" + PathDelim}), 0);
}

// Only a case-sensitive file system shows a name that a listing wrongly rules out.
TEST_F(Engine, AListingRulesOutOnlyNamesNoEntryCanBeReachedBy) {
  const std::tuple<const char*, const char*, bool, bool> cases[] = {  // listed, wanted, on POSIX, on Windows
      {"index", "index", true, true}, {"INDEX", "index", true, true}, {".Git", ".git", true, true}, {"index.lock", "index", false, false},
      {"inde", "index", false, false}, {"ind\xC3\xA9x", "index", false, false},  // a letter of its own: never taken for "e"
      {"in\xC2\xAD" "dex", "index", true, false},                               // a soft hyphen, which some file systems ignore
      {"pac\xE2\x84\xAA", "pack", true, false}, {"stra\xC3\x9F" "e", "STRASSE", true, false},  // the Kelvin sign, sharp s folded
      {"caf\xC3\xA9", "cafe\xCC\x81", true, false},                                           // composed, decomposed
      {"pack-\xC3\x84.idx", "pack-\xC3\xA4.idx", true, true}, {"pack-\xC3\x84.idx", "pack-a.idx", false, false}};
  TDirectoryListing listing;
  for (std::size_t i = 0; const auto& [listed, wanted, posix, windows] : cases) {
    fBase = "m" + std::to_string(i++);
    ASSERT_TRUE(Make(listed) && TDirectory::Open(Dir("")).Read(listing));
    EXPECT_EQ(listing.MayContain(Utf8BytesToString(wanted)), OnWindows ? windows : posix) << listed << " for " << wanted;
  }
}
