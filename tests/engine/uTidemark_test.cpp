// The engine over trees described in a line of text, by its events and the files' times; a walk
// by full paths to match on a varied tree; packs that change under it; trees past the path limit.
#include "engine/uTidemark.h"

#include <chrono>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "compat/uCompatibility.h"
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

// The real file system, but for the full paths it is told to fail on.
struct TFaultyFileSystem : TRealEngineFileSystem {
  std::set<String> Unreadable, Refused;
  bool GetFileTimes(const TDirectory& dir, const String& name, TFileTime& c, TFileTime& w, TFileTime& a) override {
    return !Unreadable.contains(dir.Path() + name) && TRealEngineFileSystem::GetFileTimes(dir, name, c, w, a);
  }
  bool SetFileLastWriteTime(const TDirectory& dir, const String& name, const TFileTime& time) override {
    return !Refused.contains(dir.Path() + name) && TRealEngineFileSystem::SetFileLastWriteTime(dir, name, time);
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
      fMade.insert({path, path / "index", path / "HEAD"});
      const char kind = std::string_view("+^%?#").find(name[0]) == std::string_view::npos ? '=' : name[0];
      if (bang == std::string::npos || name.empty()) continue;
      const fs::path pack = At(item.substr(0, bang) + "/objects/pack/pack-" + name.substr(kind != '=') + ".pack"), index = fs::path(pack).replace_extension(".idx");
      for (const fs::path& file : {index, pack}) std::ofstream(file) << "pack", fMade.insert(file);
      EXPECT_TRUE(SetFileLastWriteTime(ToString(pack), TFileTime{Time(index).High, Time(index).Low ^ (kind == '+' || kind == '^' || kind == '%')}));
      if (kind == '^') MakeReadOnly(pack);
      (kind == '%' ? fFileSystem.Refused : fFileSystem.Unreadable).insert(kind == '%' || kind == '?' ? ToString(pack) : kind == '#' ? ToString(index) : u"");
    }
    return true;
  }
  // The events of a description: V:dir visited, S:dir a repository directory started and ended,
  // and for the one last started =p kept, +p changed, !p failed.
  std::vector<TEvent> Expected(const std::string& description) const {
    std::vector<TEvent> events;
    std::istringstream items(description);
    for (std::string item; items >> item;) {
      const auto event = TLogEvent(std::string_view("VSE=+!").find(item[0]));
      events.push_back({event, event < evtGitDirectoryEnd ? Dir(item.substr(2)) : u"pack-" + Utf8BytesToString(item.substr(1)) + u".pack"});
      if (event == evtGitDirectoryStart) events.push_back({evtGitDirectoryEnd, events.back().Value});
    }
    return events;
  }
  // Events as lines in the order of a walk that takes subdirectories by name, a listing's order
  // being the file system's: each a path below the base (a pack's that of the repository last
  // started), marked to sort a start first, then packs, then the end.
  std::vector<std::string> Lines(const std::vector<TEvent>& events, bool visits = true) const {
    std::vector<std::string> lines;
    std::string gitDir;
    for (const auto& [event, value] : events) {
      const std::string text = StringToUtf8Bytes(value.starts_with(Dir("")) ? value.substr(Dir("").size()) : value);
      gitDir = event == evtGitDirectoryStart ? text : gitDir;
      const std::string marks[] = {"", "\1S", "\xFF" "E", "\2" + std::string(1, "=+!"[std::max(int(event), 3) - 3]) + text};
      if (event != evtDirectoryVisited || visits) lines.push_back((int(event) > 2 ? gitDir : text) + marks[std::min(int(event), 3)]);
    }
    std::ranges::sort(lines);
    return lines;
  }
  // Every start has its end, innermost first, but the one whose own delivery threw (event Thrown,
  // counted from 1), which opened nothing.
  void ExpectNestedPairs(std::size_t thrown = 0) const {
    std::vector<String> open;
    for (std::size_t i = 0; i < fEvents.size(); ++i) {
      if (fEvents[i].Event == evtGitDirectoryStart && i + 1 != thrown) open.push_back(fEvents[i].Value);
      if (fEvents[i].Event != evtGitDirectoryEnd) continue;
      EXPECT_EQ(fEvents[i].Value, open.empty() ? String() : open.back());
      if (!open.empty()) open.pop_back();
    }
    EXPECT_TRUE(open.empty());
  }
  std::map<fs::path, std::optional<TFileTime>> Snapshot() const {  // of every entry made, a link's own time
    std::map<fs::path, std::optional<TFileTime>> times;
    for (const fs::path& path : fMade) times[path] = StoredTimes(path) ? std::optional(Time(path)) : std::nullopt;
    return times;
  }

  TFaultyFileSystem fFileSystem;
  TTidemark fEngine{fFileSystem};
  std::vector<TEvent> fEvents;
  std::function<void(const TEvent&)> fOnEvent;  // after each event is recorded
  std::set<fs::path> fMade;
  std::string fBase;
};

const std::string Submodules = "w/.git!+a w/.git/other/.git!b w/src/in/.git!c w/.git/modules/s!d w/.git/modules/s/modules/t!+e "
                               "w/.git/modules/d/u!f w/.git/modules/d/x/";

// A tree, the starts of walks over it, their events (without V: visits are not compared), and
// whether the walks are recursive.
const std::tuple<std::string, std::string, std::string, bool> Cases[] = {
    // Submodules at any depth of "modules" (and only there) wherever the walk starts; nothing
    // below a repository is searched; a directory of modules that is none is walked.
    {Submodules, "w", "V:w S:w/.git +a S:w/.git/modules/s =d S:w/.git/modules/s/modules/t +e S:w/.git/modules/d/u =f", true},
    {Submodules, "w/.git/", "V:w/.git S:w/.git +a S:w/.git/modules/s =d S:w/.git/modules/s/modules/t +e S:w/.git/modules/d/u =f", false},
    {"r!", "missing r/HEAD", "V:missing V:r/HEAD", true},  // a start that is no directory is visited
    // Every pack with an index goes to its time, or fails; other names and kinds are passed over.
    {"g!eq g!+tick g!^ro g!?unread g!#unidx g!%refused g/objects/pack/pack-noidx.pack g/objects/pack/pack-dir.pack/ "
     "g/objects/pack/pack-dir.idx g/objects/pack/pack-idxdir.pack g/objects/pack/pack-idxdir.idx/ g/objects/pack/xpack-x.pack "
     "g/objects/pack/pack-x.pack.tmp g/objects/pack/pack-x.idx",
     "g", "V:g S:g =eq +tick +ro !unread !unidx !refused", true},
    // Links to directories are followed as the start, as a working tree's .git, as objects or
    // objects/pack; below the start, in the main walk or "modules", none is, loops included.
    {"r/w/.git!a alias->r/ wt/.git->r/w/.git/ o1!b o2!c g/index g/HEAD g/objects->o1/objects/ h/index h/HEAD h/objects/pack->o2/objects/pack/",
     "alias wt g h", "V:alias V:alias/w S:alias/w/.git =a V:wt S:wt/.git =a V:g S:g =b V:h S:h =c", true},
    {"t/d/w/.git!a t/l->t/d/ t/self->t/ t/d/up->t/ t/w/.git!b t/w/.git/modules/s!c t/w/.git/modules/l->t/w/.git/modules/s/ "
     "t/w/.git/modules/s/up->t/w/.git/ m/r!d t/m/.git!e t/m/.git/modules->m/",
     "t", "V:t V:t/d V:t/d/w S:t/d/w/.git =a V:t/w S:t/w/.git =b S:t/w/.git/modules/s =c V:t/m S:t/m/.git =e", true},
    // A pack that is a link is passed over, its target kept; an index is followed.
    {"g!+a e/d/ g!+todir g/objects/pack/pack-todir.pack->e/d/ g!+idxdir g/objects/pack/pack-idxdir.idx->e/d/", "g", "V:g S:g +a", true},
    {"g!+a e/f e/i g!+tofile g/objects/pack/pack-tofile.pack->e/f g!+dangling g/objects/pack/pack-dangling.pack->e/none "
     "g!+idxnone g/objects/pack/pack-idxnone.idx->e/none g!+idxlink g/objects/pack/pack-idxlink.idx->e/i",
     "g", "V:g S:g +a +idxlink", true},
};

}  // namespace

TEST_F(Engine, TreesGiveTheirEventsAndOnlyPacksTakeTheirIndexTimes) {
  int index = 0;
  for (const auto& [tree, starts, expected, recursive] : Cases) {
    SCOPED_TRACE(tree);
    fBase = "c" + std::to_string(index++);
    fMade.clear();
    const bool made = Make(tree);
    if (!made && RunningUnderWine()) continue;  // Wine makes links to directories only
    ASSERT_TRUE(made);
    const auto before = Snapshot();
    std::vector<TEvent> events;
    bool result = true;
    std::istringstream items(starts);
    for (std::string start; items >> start; events.insert(events.end(), fEvents.begin(), fEvents.end()), ExpectNestedPairs())
      result = Run(ToString(At(start)), recursive) && result;
    EXPECT_EQ(result, expected.find('!') == std::string::npos);
    EXPECT_EQ(Lines(events, expected.find("V:") != std::string::npos), Lines(Expected(expected)));
    // Nothing changes but the packs changed, which take the time of their index or of the file it leads to.
    auto after = Snapshot();
    for (const std::string& line : Lines(events, false)) {
      const std::size_t at = line.find("\2+");
      if (at == std::string::npos) continue;
      const fs::path file = At(line.substr(0, at) + "objects/pack/" + line.substr(at + 2)), idx = fs::path(file).replace_extension(".idx");
      EXPECT_EQ(after[file], Time(fs::is_symlink(idx) ? fs::read_symlink(idx) : idx)) << line;
      after[file] = before.at(file);
    }
    EXPECT_EQ(after, before);
    // A callback that throws, at any event, leaves no repository open.
    const String start = ToString(At(starts.substr(0, starts.find(' '))));
    for (std::size_t throwAt = 1, count = (Run(start, recursive), fEvents.size()); throwAt <= count; ++throwAt) {
      fOnEvent = [&](const TEvent&) { fEvents.size() == throwAt ? throw std::out_of_range("") : void(); };
      EXPECT_THROW(Run(start, recursive), std::out_of_range) << throwAt;
      ExpectNestedPairs(throwAt);
    }
    fOnEvent = nullptr;
  }
}

TEST_F(Engine, RelativeStartsAreMadeFullOrNamedAsGiven) {
  ASSERT_TRUE(Make("w/sub/ elsewhere/ gone/"));
  {
    const TCurrentDirectory current(At("elsewhere"));
    EXPECT_TRUE(Run(NativePath(u"../w/sub/.."), false));
    EXPECT_EQ(fEvents, Expected("V:w"));
  }
  EXPECT_FALSE(Run(u""));
  EXPECT_TRUE(fEvents.empty());
  if (OnWindows) return;  // Windows keeps a current directory from going
  const TCurrentDirectory current(At("gone"));  // against which a start names no directory that exists
  fs::remove(At("gone"));
  EXPECT_TRUE(Run(u"w/sub"));
  EXPECT_EQ(fEvents, (std::vector<TEvent>{{evtDirectoryVisited, u"w/sub/"}}));
}

// After the first pack's event one pack loses its file, one its index, and (where links to files
// can be made) one gives its place to a link: the two are passed over, the link's own time set.
TEST_F(Engine, PacksThatChangeAfterTheListingAreTakenAsTheyAreFound) {
  ASSERT_TRUE(Make("g!+p0 g!+p1 g!+p2 g!+p3 e!+target"));
  const fs::path target = At("e/objects/pack/pack-target.pack");
  const bool links = MakeLink(At("probe"), target, false);
  std::vector<fs::path> others;
  fOnEvent = [&](const TEvent& e) {
    if (fEvents.size() != 3) return;  // the first pack's
    for (const std::string pack : {"p0", "p1", "p2", "p3"})
      if (e.Value != u"pack-" + Utf8BytesToString(pack) + u".pack") others.push_back(At("g/objects/pack/pack-" + pack + ".pack"));
    fs::remove(others[0]);
    fs::remove(fs::path(others[1]).replace_extension(".idx"));
    fs::remove(others[2]);
    EXPECT_EQ(MakeLink(others[2], target, false), links);
  };
  const TFileTime targetTime = Time(target);
  EXPECT_TRUE(Run(Dir("g")));
  ASSERT_EQ(others.size(), 3u);
  const std::string first = StringToUtf8Bytes(fEvents.at(2).Value.substr(5, 2)), linked = others[2].stem().string().substr(5);
  EXPECT_EQ(Lines(fEvents), Lines(Expected("V:g S:g +" + first + (links ? " +" + linked : ""))));
  EXPECT_EQ(Time(target), targetTime);
  EXPECT_TRUE(!links || Time(others[2]) == Time(fs::path(others[2]).replace_extension(".idx")));
}

namespace {

// The walk as the rules give it, by full paths through the rtl's services: the oracle the
// engine must match event for event. Its searches list entries in the order of the listings.
struct TReferenceWalk {
  std::vector<TEvent> Events;
  bool Recursive, Result = true;

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
      const bool read = GetFileTimes(pack, unused, packTime, unused) && GetFileTimes(index, unused, indexTime, unused);
      const TLogEvent event = !read ? evtPackFileTimeChangeFailed : packTime == indexTime ? evtPackFileTimeNotChanged
                              : SetFileLastWriteTime(pack, indexTime) ? evtPackFileTimeChanged : evtPackFileTimeChangeFailed;
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

// With the trees above, the other layouts a walk tells apart: a .git that is a file, one
// without index, HEAD or objects/pack, names in other cases (which Windows ignores), letters
// beyond ASCII, blanks, a repository directory named directly, packs in capitals.
const std::string Varied = "a/.git a/s/.git!+p1 b/.git/HEAD b/.git/objects/pack/ b/s/.git!p2 c/.git/index c/.git/HEAD c/.git/objects/pack "
                           "c/x/.git/index c/x/.git/objects/pack/ d/.GIT!+p3 d/upper/INDEX d/upper/HEAD d/upper/objects/pack/ "
                           "na\xC3\xAFve/a*b/\xE3\x83\x87/.git!+p*4 e.git!p5 e.git/refs/heads/ g/.git!+p6 g/.git/objects/pack/PACK-C.PACK "
                           "g/.git/objects/pack/pack-c.idx";

}  // namespace

TEST_F(Engine, EventsMatchAWalkByFullPathsEventForEvent) {
  for (std::size_t i = 0; i <= 2 * std::size(Cases) + 1; ++i) {  // each twice, one below names with blanks and beyond ASCII
    fBase = (i % 2 ? "o n\xC3\xA9/c" : "c") + std::to_string(i / 2);
    EXPECT_TRUE(Make(i / 2 < std::size(Cases) ? std::get<0>(Cases[i / 2]) : Varied) || RunningUnderWine());  // Wine: a tree ends at its first link to a file
  }
  fBase.clear();
  fFileSystem.Unreadable.clear();
  fFileSystem.Refused.clear();
  const auto made = Snapshot();
  const auto restore = [&](const auto& walked) {
    for (const auto& [path, time] : made) EXPECT_TRUE(time == walked.at(path) || SetFileLastWriteTime(ToString(path), *time));
  };
  for (const auto& [start, recursive] : std::vector<std::pair<std::string, bool>>{{"", true}, {"", false}, {"c0/w/.git", false}, {"c0/w/.git/modules", true}}) {
    SCOPED_TRACE(start + (recursive ? " -r" : ""));
    TReferenceWalk reference{{}, recursive};
    reference.Directory(IncludeTrailingPathDelimiter(ExpandFileName(ToString(At(start)))));
    const auto walked = Snapshot();
    restore(walked);
    EXPECT_EQ(Run(ToString(At(start)), recursive), reference.Result);
    const auto [engine, oracle] = std::ranges::mismatch(fEvents, reference.Events);
    EXPECT_TRUE(engine == fEvents.end() && oracle == reference.Events.end())
        << "the walks part at event " << engine - fEvents.begin() << " of " << fEvents.size() << "/" << reference.Events.size() << ": "
        << (engine == fEvents.end() ? "(end)" : testing::PrintToString(*engine)) << ", reference "
        << (oracle == reference.Events.end() ? "(end)" : testing::PrintToString(*oracle));
    EXPECT_EQ(Snapshot(), walked);
    EXPECT_TRUE(!start.empty() || !recursive || fEvents.size() > 200) << fEvents.size();
    restore(Snapshot());
  }
}

// Past the path limit (PATH_MAX natively, MAX_PATH under Wine, within its host's 4096 bytes) and
// deeper than the walk keeps directories open. Each level has siblings made before and after the
// chain, named after the level, so that a listing in the order of making, the reverse or by hash
// shows some after it; a link a third of the way down leads to a repository elsewhere, one at the
// bottom to the top: neither is taken.
TEST_F(Engine, TreesPastThePathLimitAreWalkedToTheBottom) {
  const std::string name(RunningUnderWine() ? 25 : 45, 'd');
  const int depth = 100;
  ASSERT_TRUE(Make("top/.git!+deep elsewhere/.git!+elsewhere"));
  for (int level = 0; level < depth; ++level) {  // moving "top" down a level at a time: no path grows long
    fs::create_directories(At("wrapper/side" + std::to_string(level) + "/s"));
    if (level == 0 || level == depth * 2 / 3) MakeLink(At("wrapper/side" + std::to_string(level) + "/up"), At(level ? "elsewhere" : "top"), true);
    fs::rename(At("top"), At("wrapper/" + name));
    fs::create_directories(At("wrapper/later" + std::to_string(level) + "/s"));
    fs::rename(At("wrapper"), At("top"));
  }
  ASSERT_TRUE(Make("top/side" + std::to_string(depth - 1) + "/.git!+shallow"));
  EXPECT_TRUE(Run(Dir("top")));
  String bottom = Dir("top");
  for (int level = 0; level < depth; ++level) bottom += ToString(name) + PathDelim;
  std::set<String> visits;
  for (const TEvent& e : fEvents) visits.insert(e.Event == evtDirectoryVisited ? e.Value : String());
  EXPECT_EQ(visits.size(), 5u * depth + 1);  // each once
  EXPECT_TRUE(visits.contains(bottom));
  const String deepGit = bottom + NativePath(u".git/");
  std::vector<TEvent> expected = Expected("S:top/side" + std::to_string(depth - 1) + "/.git +shallow");
  expected.insert(expected.end(), {{evtGitDirectoryStart, deepGit}, {evtPackFileTimeChanged, u"pack-deep.pack"}, {evtGitDirectoryEnd, deepGit}});
  EXPECT_EQ(Lines(fEvents, false), Lines(expected));
  // A callback that throws there, where the pack is at its index's time now, gets the end event.
  fOnEvent = [](const TEvent& e) { e.Value == u"pack-deep.pack" ? throw std::out_of_range("") : void(); };
  EXPECT_THROW(Run(Dir("top")), std::out_of_range);
  EXPECT_EQ(std::vector(fEvents.end() - 2, fEvents.end()), (std::vector<TEvent>{{evtPackFileTimeNotChanged, u"pack-deep.pack"}, {evtGitDirectoryEnd, deepGit}}));
  // Without a callback the same work is done.
  EXPECT_TRUE(TTidemark().Process(Dir("elsewhere"), true));
  EXPECT_EQ(Time(At("elsewhere/.git/objects/pack/pack-elsewhere.pack")), Time(At("elsewhere/.git/objects/pack/pack-elsewhere.idx")));
}

// A listing rules out only names that no entry can be reached by, also where the file system
// ignores case (as Windows' do, and some of POSIX).
TEST_F(Engine, AListingRulesOutOnlyNamesNoEntryCanBeReachedBy) {
  const std::tuple<const char*, const char*, bool, bool> cases[] = {  // listed, wanted, on POSIX, on Windows
      {"index", "index", true, true}, {"INDEX", "index", true, true}, {".Git", ".git", true, true}, {"index.lock", "index", false, false},
      {"inde", "index", false, false}, {"ind\xC3\xA9x", "index", false, false},  // a letter of its own: never taken for "e"
      {"in\xC2\xAD" "dex", "index", true, false},                               // a soft hyphen, which some file systems ignore
      {"pac\xE2\x84\xAA", "pack", true, false}, {"stra\xC3\x9F" "e", "STRASSE", true, false},  // the Kelvin sign, sharp s folded
      {"caf\xC3\xA9", "cafe\xCC\x81", true, false},                                           // composed, decomposed
      {"pack-\xC3\x84.idx", "pack-\xC3\xA4.idx", true, true}, {"pack-\xC3\x84.idx", "pack-a.idx", false, false}};
  TDirectoryListing listing;
  for (const auto& [listed, wanted, posix, windows] : cases) {
    fBase = "m" + std::to_string(fMade.size());
    ASSERT_TRUE(Make(listed) && TDirectory::Open(Dir("")).Read(listing));
    EXPECT_EQ(listing.MayContain(Utf8BytesToString(wanted)), OnWindows ? windows : posix) << listed << " for " << wanted;
  }
}

// A directory read ahead by another thread counts only while it still holds when the walk enters it.
TEST_F(Engine, ADirectoryThatChangesAfterItWasReadAheadIsWalkedAsItIsWhenEntered) {
  MakeDir("t/a/old");
  MakeDir("t/b/old");
  String changed;
  fOnEvent = [&](const TEvent& e) {
    if (e.Event != evtDirectoryVisited || !changed.empty() || (e.Value != Dir("t/a") && e.Value != Dir("t/b"))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));  // time for a reader to read the other one ahead
    const std::string other = e.Value == Dir("t/a") ? "t/b" : "t/a";
    fs::remove(At(other) / "old");
    MakeDir(fs::path(other) / "new");
    changed = Dir(other);
  };
  EXPECT_TRUE(Run(Dir("t")));
  EXPECT_EQ(std::ranges::count(fEvents, TEvent{evtDirectoryVisited, changed + u"new" + PathDelim}), 1);
  EXPECT_EQ(std::ranges::count(fEvents, TEvent{evtDirectoryVisited, changed + u"old" + PathDelim}), 0);
}
