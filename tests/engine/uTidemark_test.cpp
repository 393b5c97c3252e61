#include "engine/uTidemark.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>

#include "compat/uCompatibility.h"
#include "rtl/Path.h"
#include "rtl/Utf8.h"
#include "support/FileTools.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;
using enum TLogEvent;

namespace {

struct TEventRecord {
  TLogEvent Event;
  String Value;
  auto operator<=>(const TEventRecord&) const = default;
};

void PrintTo(const TEventRecord& record, std::ostream* out) {
  *out << static_cast<int>(record.Event) << ":" << StringToUtf8Bytes(record.Value);
}

// The real file system, except for the names it is told to fail on.
class TFaultyFileSystem : public TRealEngineFileSystem {
public:
  std::set<String> UnreadableTimes;
  std::set<String> RefusedTimeChanges;

  bool GetFileTimes(const TDirectory& Directory, const String& FileName, TFileTime& CreationTime,
                    TFileTime& LastWriteTime, TFileTime& LastAccessTime) override {
    if (!UnreadableTimes.contains(Directory.Path() + FileName)) {
      return TRealEngineFileSystem::GetFileTimes(Directory, FileName, CreationTime, LastWriteTime, LastAccessTime);
    }
    CreationTime = LastWriteTime = LastAccessTime = TFileTime{};
    return false;
  }
  bool SetFileLastWriteTime(const TDirectory& Directory, const String& FileName,
                            const TFileTime& LastWriteTime) override {
    return !RefusedTimeChanges.contains(Directory.Path() + FileName) &&
           TRealEngineFileSystem::SetFileLastWriteTime(Directory, FileName, LastWriteTime);
  }
};

enum class TPackTime { Equal, OneStepOff, Newer, Older };

struct TCallbackFailure {};

class Tidemark : public TempDirTest {
protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fEngine.SetOnLogEvent([this](TTidemark&, TLogEvent event, const String& value) {
      fEvents.push_back({event, value});
      if (fEvents.size() == fThrowAt) throw TCallbackFailure{};
    });
  }

  bool Run(const String& directory, bool recursive = true) {
    fEvents.clear();
    return fEngine.Process(directory, recursive);
  }

  // A directory as events name it: full, with the platform's delimiters, ending in one.
  String Dir(const std::string& relative) const {
    return ToString(relative.empty() ? Root() : (Root() / relative).make_preferred()) + PathDelim;
  }

  void MakeGitDir(const fs::path& gitDir) const {
    WriteFile(gitDir / "index");
    WriteFile(gitDir / "HEAD", "ref: refs/heads/main\n");
    MakeDir(gitDir / "objects" / "pack");
  }

  fs::path PackPath(const fs::path& gitDir, const std::string& name, const char* extension) const {
    return (Root() / gitDir / "objects" / "pack" / ("pack-" + name + extension)).make_preferred();
  }

  void AddPack(const fs::path& gitDir, const std::string& name, TPackTime time) const {
    WriteFile(PackPath(gitDir, name, ".idx"), "index of " + name);
    WriteFile(PackPath(gitDir, name, ".pack"), "pack " + name);
    TFileTime packTime = StoredTimes(PackPath(gitDir, name, ".idx"))->LastWrite;
    if (time == TPackTime::OneStepOff) packTime.Low ^= 1u;
    if (time == TPackTime::Newer) packTime.High += 200;
    if (time == TPackTime::Older) packTime.High -= 200;
    ASSERT_TRUE(SetFileLastWriteTime(ToString(PackPath(gitDir, name, ".pack")), packTime));
  }

  bool PackMatchesIndex(const fs::path& gitDir, const std::string& name) const {
    return StoredTimes(PackPath(gitDir, name, ".pack"))->LastWrite ==
           StoredTimes(PackPath(gitDir, name, ".idx"))->LastWrite;
  }

  // The typical layout: a working tree whose repository holds a submodule repository.
  void MakeWorkingTreeWithSubmodule() const {
    MakeGitDir("w/.git");
    AddPack("w/.git", "a", TPackTime::OneStepOff);
    MakeGitDir("w/.git/modules/s");
    AddPack("w/.git/modules/s", "b", TPackTime::Equal);
    MakeGitDir("w/src/inner/.git");
  }

  // A tree of a few hundred directories holding every layout the walk tells apart, in names
  // with blanks and letters beyond ASCII. Without links where the platform cannot make them.
  void MakeVarietyTree() {
    std::mt19937 random(7);
    const auto pick = [&](std::size_t count) { return static_cast<std::size_t>(random() % count); };
    const fs::path names[] = {"src", "a b", Utf8Path("na\xC3\xAFve"), Utf8Path("\xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF"),
                              ".config", "lib"};
    int packs = 0;
    const auto repository = [&](const fs::path& gitDir) {
      MakeGitDir(gitDir);
      for (std::size_t count = pick(4); count > 0; --count) {
        const std::string pack = "p " + std::to_string(packs++);
        if (pick(5) == 0) {
          WriteFile(PackPath(gitDir, pack, ".pack"));
        } else {
          AddPack(gitDir, pack, static_cast<TPackTime>(pick(4)));
        }
      }
    };
    for (int i = 0; i < 48; ++i) {
      fs::path base = "trees";
      for (std::size_t depth = pick(3); depth > 0; --depth) base /= names[pick(std::size(names))];
      base /= "t" + std::to_string(i);
      for (std::size_t count = pick(4); count > 0; --count) MakeDir(base / names[pick(std::size(names))] / "deeper");
      const fs::path git = base / ".git";
      switch (i % 8) {
        case 0:  // a working tree, and in it one that is never searched for
          repository(git);
          repository(base / "src" / "inner" / ".git");
          fWorkingTree = base;
          break;
        case 1:  // submodules nested under modules, and a directory there that is none
          repository(git);
          repository(git / "modules" / "a");
          repository(git / "modules" / "a" / "modules" / "b");
          repository(git / "modules" / names[pick(std::size(names))] / "c");
          WriteFile(git / "modules" / "x" / "HEAD");
          MakeDir(git / "modules" / "x" / "objects" / "pack");
          fModules = git;
          break;
        case 2:  // a repository directory without a working tree
          repository(base / "bare.git");
          MakeDir(base / "bare.git" / "refs" / "heads");
          break;
        case 3:  // a working tree whose .git is a file
          WriteFile(git, "gitdir: elsewhere\n");
          repository(base / "sub" / ".git");
          break;
        case 4:  // a .git without index, walked like any directory
          repository(git);
          fs::remove(Root() / git / "index");
          repository(git / "nested" / ".git");
          break;
        case 5:  // objects/pack that is a file
          MakeGitDir(git);
          fs::remove(Root() / git / "objects" / "pack");
          WriteFile(git / "objects" / "pack");
          break;
        case 6:  // names in other cases: a repository where the file system ignores case
          repository(base / ".GIT");
          WriteFile(base / "upper" / "INDEX");
          WriteFile(base / "upper" / "HEAD");
          AddPack(base / "upper", "upper", TPackTime::OneStepOff);
          break;
        case 7:  // a directory named like a pack, an index that is a directory, a pack in capitals
          repository(git);
          MakeDir(PackPath(git, "dir", ".pack"));
          WriteFile(PackPath(git, "dir", ".idx"));
          WriteFile(PackPath(git, "idx-dir", ".pack"));
          MakeDir(PackPath(git, "idx-dir", ".idx"));
          WriteFile(git / "objects" / "pack" / "PACK-CAPITALS.PACK");
          WriteFile(git / "objects" / "pack" / "pack-capitals.idx");
          fOddPacks = git;
          break;
      }
    }
    if (!MakeLink(Root() / "trees" / "loop", Root() / "trees", TLinkTarget::Directory)) return;
    const auto link = [&](const fs::path& at, const fs::path& target, TLinkTarget kind) {
      ASSERT_TRUE(MakeLink(Root() / at, Root() / target, kind)) << at;
    };
    link("alias", fWorkingTree, TLinkTarget::Directory);
    link("gone", "missing", TLinkTarget::Directory);
    link(fModules / "modules" / "a" / "up", fModules, TLinkTarget::Directory);
    const fs::path packDir = fOddPacks / "objects" / "pack";
    // An index older than anything made here, so that the link's own time differs from it.
    WriteFile(packDir / "pack-dangling.idx");
    TFileTime older = StoredTimes(Root() / packDir / "pack-dangling.idx")->LastWrite;
    older.High -= 200;
    ASSERT_TRUE(SetFileLastWriteTime(PathOf(packDir / "pack-dangling.idx"), older));
    link(packDir / "pack-dangling.pack", "missing", TLinkTarget::File);
    AddPack(fOddPacks, "linked", TPackTime::Older);
    fs::rename(PackPath(fOddPacks, "linked", ".pack"), Root() / "target.bin");
    link(packDir / "pack-linked.pack", "target.bin", TLinkTarget::File);
    link(packDir / "pack-to-dir.pack", "trees", TLinkTarget::Directory);
    WriteFile(packDir / "pack-to-index.pack");
    link(packDir / "pack-to-index.idx", packDir / "pack-dangling.idx", TLinkTarget::File);
    fLinks = true;
  }

  // The last-write time of every file in the tree, to put back between two walks.
  std::map<fs::path, TFileTime> FileTimes() const {
    std::map<fs::path, TFileTime> times;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Root())) {
      if (entry.is_regular_file() && !entry.is_symlink()) times[entry.path()] = StoredTimes(entry.path())->LastWrite;
    }
    return times;
  }

  void RestoreFileTimes(const std::map<fs::path, TFileTime>& times) const {
    for (const auto& [file, time] : times) ASSERT_TRUE(SetFileLastWriteTime(ToString(file), time)) << file;
  }

  // Puts the directory Top at the bottom of a chain of Depth directories named Name, each
  // with siblings "side" and "later" that hold a directory, by moving it down one level at a
  // time, so that no path used here grows long. The siblings are made before and after the
  // chain, so that file systems that list in the order of making, or in the reverse, show
  // one of them after it. Where links can be made, the chain passes through one at level
  // LinkAt (from the top), and the deepest "side" holds a link back to the top.
  void WrapInChain(const fs::path& top, const fs::path& name, int depth, int linkAt) const {
    const fs::path wrapper = Root() / "wrapper";
    bool links = false;
    for (int level = depth; level > 0; --level) {
      fs::create_directories(wrapper / "side" / "s");
      if (level == depth) links = MakeLink(wrapper / "side" / "up", Root() / top, TLinkTarget::Directory);
      if (level == linkAt && links) {
        const fs::path elsewhere = Root() / (top.string() + "-elsewhere");
        fs::rename(Root() / top, elsewhere);
        ASSERT_TRUE(MakeLink(wrapper / name, elsewhere, TLinkTarget::Directory));
      } else {
        fs::rename(Root() / top, wrapper / name);
      }
      fs::create_directories(wrapper / "later" / "s");
      fs::rename(wrapper, Root() / top);
    }
  }

  void UnwrapChain(const fs::path& top, const fs::path& name, int depth) const {
    const fs::path unwrapped = Root() / "unwrapped";
    for (int level = 0; level < depth; ++level) {
      fs::rename(Root() / top / name, unwrapped);
      fs::remove_all(Root() / top);
      fs::rename(unwrapped, Root() / top);
    }
  }

  static fs::path Utf8Path(const char* name) { return ToPath(Utf8BytesToString(name)); }

  TTidemark fEngine;
  std::vector<TEventRecord> fEvents;
  std::size_t fThrowAt = 0;
  // Places in the variety tree.
  fs::path fWorkingTree, fModules, fOddPacks;
  bool fLinks = false;
};

}  // namespace

TEST_F(Tidemark, ReportsARepositoryWithItsSubmoduleInsideItsPair) {
  MakeWorkingTreeWithSubmodule();
  EXPECT_TRUE(Run(PathOf("w")));
  EXPECT_EQ(fEvents, (std::vector<TEventRecord>{{evtDirectoryVisited, Dir("w")},
                                                {evtGitDirectoryStart, Dir("w/.git")},
                                                {evtPackFileTimeChanged, u"pack-a.pack"},
                                                {evtGitDirectoryStart, Dir("w/.git/modules/s")},
                                                {evtPackFileTimeNotChanged, u"pack-b.pack"},
                                                {evtGitDirectoryEnd, Dir("w/.git/modules/s")},
                                                {evtGitDirectoryEnd, Dir("w/.git")}}));
  EXPECT_TRUE(PackMatchesIndex("w/.git", "a"));

  // Without a callback the same work is done, silently.
  AddPack("w/.git", "a", TPackTime::Newer);
  TTidemark silent;
  EXPECT_TRUE(silent.Process(PathOf("w"), true));
  EXPECT_TRUE(PackMatchesIndex("w/.git", "a"));
}

TEST_F(Tidemark, NestedSubmodulesEachGetAPairOfTheirOwn) {
  MakeGitDir("g");
  for (const std::string gitDir : {"g/modules/a", "g/modules/a/modules/b", "g/modules/plain/c"}) {
    MakeGitDir(gitDir);
    AddPack(gitDir, "p", TPackTime::Equal);
  }
  // The modules tree is walked also without recursion.
  EXPECT_TRUE(Run(PathOf("g"), false));
  std::set<String> repositories;
  for (std::size_t i = 2; i + 1 < fEvents.size(); i += 3) {
    SCOPED_TRACE(i);
    ASSERT_EQ(fEvents[i].Event, evtGitDirectoryStart);
    EXPECT_EQ(fEvents[i + 1], (TEventRecord{evtPackFileTimeNotChanged, u"pack-p.pack"}));
    EXPECT_EQ(fEvents[i + 2], (TEventRecord{evtGitDirectoryEnd, fEvents[i].Value}));
    repositories.insert(fEvents[i].Value);
  }
  EXPECT_EQ(fEvents.size(), 12u);
  EXPECT_EQ(repositories, (std::set<String>{Dir("g/modules/a"), Dir("g/modules/a/modules/b"), Dir("g/modules/plain/c")}));
}

TEST_F(Tidemark, AnAdministrativeDirectoryGivenDirectlyIsProcessedAlone) {
  MakeGitDir("w/.git");
  AddPack("w/.git", "a", TPackTime::Equal);
  MakeGitDir("w/.git/other/.git");
  for (const String& start : {PathOf("w/.git"), PathOf("w/.git") + PathDelim}) {
    EXPECT_TRUE(Run(start));
    EXPECT_EQ(fEvents, (std::vector<TEventRecord>{{evtDirectoryVisited, Dir("w/.git")},
                                                  {evtGitDirectoryStart, Dir("w/.git")},
                                                  {evtPackFileTimeNotChanged, u"pack-a.pack"},
                                                  {evtGitDirectoryEnd, Dir("w/.git")}}));
  }
}

TEST_F(Tidemark, OnlyACompleteRepositoryDirectoryEndsTheWalk) {
  const struct {
    const char* Case;
    void (*Spoil)(const fs::path& gitDir);
  } cases[] = {
      {".git is a file",
       [](const fs::path& d) {
         fs::remove_all(d);
         std::ofstream(d) << "gitdir: elsewhere";
       }},
      {"no index", [](const fs::path& d) { fs::remove(d / "index"); }},
      {"no HEAD", [](const fs::path& d) { fs::remove(d / "HEAD"); }},
      {"no objects/pack", [](const fs::path& d) { fs::remove(d / "objects" / "pack"); }},
      {"no objects", [](const fs::path& d) { fs::remove_all(d / "objects"); }},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(c.Case);
    const std::string tree = "case" + std::to_string(i);
    MakeGitDir(tree + "/.git");
    c.Spoil(Root() / tree / ".git");
    MakeGitDir(tree + "/sub/.git");
    EXPECT_TRUE(Run(PathOf(tree)));
    const std::vector<TEventRecord> starts = {{evtGitDirectoryStart, Dir(tree + "/sub/.git")}};
    std::vector<TEventRecord> found;
    std::copy_if(fEvents.begin(), fEvents.end(), std::back_inserter(found),
                 [](const TEventRecord& e) { return e.Event == evtGitDirectoryStart; });
    EXPECT_EQ(found, starts);
    EXPECT_TRUE(std::ranges::count(fEvents, TEventRecord{evtDirectoryVisited, Dir(tree + "/sub")}));

    EXPECT_TRUE(Run(PathOf(tree), false));
    EXPECT_EQ(fEvents, (std::vector<TEventRecord>{{evtDirectoryVisited, Dir(tree)}}));
  }
}

TEST_F(Tidemark, PackTimesAreAlignedInEitherDirection) {
  const struct {
    TPackTime Time;
    bool ReadOnly;
    TLogEvent Expected;
  } cases[] = {
      {TPackTime::Equal, false, evtPackFileTimeNotChanged}, {TPackTime::OneStepOff, false, evtPackFileTimeChanged},
      {TPackTime::Newer, false, evtPackFileTimeChanged},    {TPackTime::Older, false, evtPackFileTimeChanged},
      {TPackTime::OneStepOff, true, evtPackFileTimeChanged},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    const std::string gitDir = "r" + std::to_string(i);
    MakeGitDir(gitDir);
    AddPack(gitDir, "x", cases[i].Time);
    if (cases[i].ReadOnly) MakeReadOnlyHidden(PackPath(gitDir, "x", ".pack"));
    const TFileTime indexTime = StoredTimes(PackPath(gitDir, "x", ".idx"))->LastWrite;

    EXPECT_TRUE(Run(PathOf(gitDir)));
    ASSERT_EQ(fEvents.size(), 4u);
    EXPECT_EQ(fEvents[2], (TEventRecord{cases[i].Expected, u"pack-x.pack"}));
    EXPECT_TRUE(PackMatchesIndex(gitDir, "x"));
    EXPECT_EQ(StoredTimes(PackPath(gitDir, "x", ".idx"))->LastWrite, indexTime);
    std::ifstream pack(PackPath(gitDir, "x", ".pack"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(pack), {}), "pack x");
  }
}

TEST_F(Tidemark, PacksWithoutAnIndexAndDirectoriesNamedLikePacksAreSkipped) {
  MakeGitDir("g");
  WriteFile("g/objects/pack/pack-lone.pack");
  MakeDir("g/objects/pack/pack-dir.pack");
  WriteFile("g/objects/pack/pack-dir.idx");
  AddPack("g", "b", TPackTime::Equal);
  EXPECT_TRUE(Run(PathOf("g")));
  EXPECT_EQ(fEvents[2], (TEventRecord{evtPackFileTimeNotChanged, u"pack-b.pack"}));
  EXPECT_EQ(fEvents.size(), 4u);
}

TEST_F(Tidemark, FailuresAreReportedAndTheWalkGoesOn) {
  MakeWorkingTreeWithSubmodule();
  for (const char* name : {"unreadable", "unreadable-index", "refused", "fine"}) {
    AddPack("w/.git", name, TPackTime::OneStepOff);
  }
  AddPack("w/.git/modules/s", "b", TPackTime::Older);
  TFaultyFileSystem fileSystem;
  fileSystem.UnreadableTimes = {ToString(PackPath("w/.git", "unreadable", ".pack")),
                                ToString(PackPath("w/.git", "unreadable-index", ".idx"))};
  fileSystem.RefusedTimeChanges = {ToString(PackPath("w/.git", "refused", ".pack"))};
  TTidemark engine(fileSystem);
  engine.SetOnLogEvent(fEngine.OnLogEvent());

  EXPECT_FALSE(engine.Process(PathOf("w"), true));
  std::multiset<TEventRecord> packEvents;
  std::ranges::copy_if(fEvents, std::inserter(packEvents, packEvents.end()),
                       [](const TEventRecord& e) { return e.Event >= evtPackFileTimeNotChanged; });
  EXPECT_EQ(packEvents, (std::multiset<TEventRecord>{
                            {evtPackFileTimeChanged, u"pack-a.pack"},
                            {evtPackFileTimeChanged, u"pack-b.pack"},
                            {evtPackFileTimeChanged, u"pack-fine.pack"},
                            {evtPackFileTimeChangeFailed, u"pack-refused.pack"},
                            {evtPackFileTimeChangeFailed, u"pack-unreadable.pack"},
                            {evtPackFileTimeChangeFailed, u"pack-unreadable-index.pack"},
                        }));
  EXPECT_FALSE(PackMatchesIndex("w/.git", "refused"));
}

TEST_F(Tidemark, ACallbackThatThrowsLeavesNoRepositoryOpen) {
  MakeWorkingTreeWithSubmodule();
  for (fThrowAt = 1; fThrowAt <= 7; ++fThrowAt) {
    SCOPED_TRACE(fThrowAt);
    EXPECT_THROW(Run(PathOf("w")), TCallbackFailure);
    std::vector<String> open;
    for (std::size_t i = 0; i < fEvents.size(); ++i) {
      const TEventRecord& e = fEvents[i];
      // A start whose own delivery threw opened nothing; every other start must be closed.
      if (e.Event == evtGitDirectoryStart && i + 1 != fThrowAt) open.push_back(e.Value);
      if (e.Event == evtGitDirectoryEnd) {
        ASSERT_FALSE(open.empty());
        EXPECT_EQ(e.Value, open.back());
        open.pop_back();
      }
    }
    EXPECT_TRUE(open.empty());
  }
}

TEST_F(Tidemark, StartDirectoriesAreExpandedOrRefused) {
  MakeDir("w/sub");
  MakeDir("elsewhere");
  WriteFile("file");
  {
    const TCurrentDirectory current(Root() / "elsewhere");
    EXPECT_TRUE(Run(u".." + String(1, PathDelim) + u"w" + PathDelim + u"sub" + PathDelim + u"..", false));
  }
  EXPECT_EQ(fEvents, (std::vector<TEventRecord>{{evtDirectoryVisited, Dir("w")}}));

  EXPECT_FALSE(Run(u""));
  EXPECT_TRUE(fEvents.empty());
  for (const std::string missing : {"missing", "file"}) {
    EXPECT_TRUE(Run(PathOf(missing)));
    EXPECT_EQ(fEvents, (std::vector<TEventRecord>{{evtDirectoryVisited, Dir(missing)}}));
  }
}

TEST_F(Tidemark, LinksBackIntoTheWalkPathAreNotEnteredAgain) {
  MakeDir("w/sub");
  MakeGitDir("r/.git");
  MakeGitDir("r/.git/modules/s");
  if (!MakeLink(Root() / "w" / "sub" / "up", Root() / "w", TLinkTarget::Directory)) {
    GTEST_SKIP() << "this platform cannot make links";
  }
  ASSERT_TRUE(MakeLink(Root() / "r" / ".git" / "modules" / "s" / "up", Root() / "r" / ".git", TLinkTarget::Directory));
  ASSERT_TRUE(MakeLink(Root() / "side", Root() / "w" / "sub", TLinkTarget::Directory));

  EXPECT_TRUE(Run(PathOf()));
  const auto count = [&](TLogEvent event, const String& value) {
    return std::ranges::count(fEvents, TEventRecord{event, value});
  };
  EXPECT_EQ(count(evtDirectoryVisited, Dir("w/sub")), 1);
  EXPECT_EQ(count(evtDirectoryVisited, Dir("w/sub/up")), 0);
  EXPECT_EQ(count(evtDirectoryVisited, Dir("side")), 1);
  EXPECT_EQ(count(evtGitDirectoryStart, Dir("r/.git/modules/s")), 1);
}

namespace {

// The walk as the rules give it, by full paths through the rtl's path-based services: the
// oracle that the engine must match event for event. It enumerates with the same searches as
// the platform offers, so both see entries in the same order.
class TReferenceWalk {
public:
  std::vector<TEventRecord> Events;

  bool Process(const String& start, bool recursive) {
    fRecursive = recursive;
    ProcessDirectory(IncludeTrailingPathDelimiter(ExpandFileName(start)), {});
    return fResult;
  }

private:
  // The directories from the start down to the current one, for the rule on links.
  using TWalkPath = std::vector<String>;

  static bool IsGitDirectory(const String& dir) {
    return FileExists(dir + u"index") && FileExists(dir + u"HEAD") && DirectoryExists(dir + u"objects") &&
           DirectoryExists(dir + u"objects" + PathDelim + u"pack");
  }

  void ProcessDirectory(const String& dir, TWalkPath path) {
    Events.push_back({evtDirectoryVisited, dir});
    path.push_back(dir);
    const String dotGit = dir + u".git" + PathDelim;
    if (IsGitDirectory(dir)) {
      ProcessGitDirectory(dir, path);
    } else if (DirectoryExists(dir + u".git") && IsGitDirectory(dotGit)) {
      path.push_back(dotGit);
      ProcessGitDirectory(dotGit, path);
    } else if (fRecursive) {
      for (const String& subdirectory : Subdirectories(dir, path)) ProcessDirectory(subdirectory, path);
    }
  }

  void ProcessGitDirectory(const String& gitDir, const TWalkPath& path) {
    Events.push_back({evtGitDirectoryStart, gitDir});
    ProcessPackFiles(gitDir);
    if (DirectoryExists(gitDir + u"modules")) ProcessModulesDirectory(gitDir + u"modules" + PathDelim, path);
    Events.push_back({evtGitDirectoryEnd, gitDir});
  }

  void ProcessModulesDirectory(const String& dir, TWalkPath path) {
    if (IsGitDirectory(dir)) {
      Events.push_back({evtGitDirectoryStart, dir});
      ProcessPackFiles(dir);
      Events.push_back({evtGitDirectoryEnd, dir});
    }
    path.push_back(dir);
    for (const String& subdirectory : Subdirectories(dir, path)) ProcessModulesDirectory(subdirectory, path);
  }

  void ProcessPackFiles(const String& gitDir) {
    const String packDir = gitDir + u"objects" + PathDelim + u"pack" + PathDelim;
    for (TFileSearch search(packDir + u"pack-*.pack"); search.Found(); search.Next()) {
      if (search.Entry().IsDirectory()) continue;
      const String name = search.Entry().Name;
      const String idx = packDir + ChangeFileExt(name, u".idx");
      if (!FileExists(idx)) continue;
      TFileTime unused, packTime, idxTime;
      TLogEvent event = evtPackFileTimeChangeFailed;
      if (GetFileTimes(packDir + name, unused, packTime, unused) && GetFileTimes(idx, unused, idxTime, unused)) {
        event = packTime == idxTime                               ? evtPackFileTimeNotChanged
                : SetFileLastWriteTime(packDir + name, idxTime) ? evtPackFileTimeChanged
                                                                  : evtPackFileTimeChangeFailed;
      }
      if (event == evtPackFileTimeChangeFailed) fResult = false;
      Events.push_back({event, name});
    }
  }

  // Dir's subdirectories, except links that lead back to a directory on the walk path.
  static std::vector<String> Subdirectories(const String& dir, const TWalkPath& path) {
    std::vector<String> found;
    for (TFileSearch search(dir + String(AllFilesMask)); search.Found(); search.Next()) {
      const TSearchEntry& entry = search.Entry();
      if (!entry.IsDirectory() || entry.Name == u"." || entry.Name == u"..") continue;
      const String subdirectory = dir + entry.Name + PathDelim;
      const std::optional<TFileIdentity> target = entry.IsLink ? GetFileIdentity(subdirectory) : std::nullopt;
      if (target && std::ranges::any_of(path, [&](const String& on) { return GetFileIdentity(on) == target; })) {
        continue;
      }
      found.push_back(subdirectory);
    }
    return found;
  }

  bool fRecursive = true;
  bool fResult = true;
};

// Fails with the place where two traces part, rather than with both in full.
void ExpectSameTrace(const std::vector<TEventRecord>& engine, const std::vector<TEventRecord>& reference) {
  const auto [atEngine, atReference] = std::ranges::mismatch(engine, reference);
  if (atEngine == engine.end() && atReference == reference.end()) return;
  const auto describe = [](auto at, const std::vector<TEventRecord>& trace) {
    return at == trace.end() ? std::string("(the end)") : ::testing::PrintToString(*at);
  };
  ADD_FAILURE() << "the traces part at event " << (atEngine - engine.begin()) << " of " << engine.size() << "/"
                << reference.size() << ": engine " << describe(atEngine, engine) << ", reference "
                << describe(atReference, reference);
}

}  // namespace

TEST_F(Tidemark, EventsMatchAWalkByFullPathsEventForEvent) {
  MakeVarietyTree();
  const std::map<fs::path, TFileTime> generated = FileTimes();
  const struct {
    fs::path Start;
    bool Recursive;
  } runs[] = {{"", true}, {"", false}, {fModules, false}, {fModules / "modules", true}, {fOddPacks, true}};
  for (const auto& run : runs) {
    SCOPED_TRACE(run.Start.string() + (run.Recursive ? " -r" : ""));
    TReferenceWalk reference;
    const bool expected = reference.Process(PathOf(run.Start), run.Recursive);
    const std::map<fs::path, TFileTime> walked = FileTimes();
    RestoreFileTimes(generated);
    EXPECT_EQ(Run(PathOf(run.Start), run.Recursive), expected);
    ExpectSameTrace(fEvents, reference.Events);
    EXPECT_EQ(FileTimes(), walked);
    if (run.Start.empty() && run.Recursive) {
      // The tree shows every kind of event; only links can make a pack's time refuse to change.
      std::map<TLogEvent, std::ptrdiff_t> counts;
      for (const TEventRecord& record : fEvents) ++counts[record.Event];
      EXPECT_GT(counts[evtDirectoryVisited], 150);
      EXPECT_GT(counts[evtGitDirectoryStart], 40);
      EXPECT_GT(counts[evtPackFileTimeNotChanged], 10);
      EXPECT_GT(counts[evtPackFileTimeChanged], 10);
      EXPECT_EQ(counts[evtPackFileTimeChangeFailed] > 0, fLinks);
      EXPECT_EQ(expected, !fLinks);
    }
    RestoreFileTimes(generated);
  }
}

TEST_F(Tidemark, TreesDeeperThanAPathMayBeLongAreWalkedToTheBottom) {
  // Deep enough for the walk to give up directories on its way down and to take them back
  // on its way up; long past MAX_PATH, and in the second case past PATH_MAX as well.
  const fs::path name = "a-directory-name-of-some-length";
  for (const int depth : {100, 200}) {
    SCOPED_TRACE(depth);
    if (depth == 200 && RunningUnderWine()) GTEST_SKIP() << "Wine hands paths to the host, which ends them at 4096 bytes";
    const std::string top = "top" + std::to_string(depth);
    MakeGitDir(top + "/.git");
    AddPack(top + "/.git", "deep", TPackTime::OneStepOff);
    WrapInChain(top, name, depth, depth * 2 / 3);
    MakeGitDir(top + "/side/.git");
    AddPack(top + "/side/.git", "shallow", TPackTime::Newer);

    EXPECT_TRUE(Run(PathOf(top)));
    String bottom = Dir(top);
    for (int level = 0; level < depth; ++level) bottom += ToString(name) + PathDelim;
    const String deepGit = bottom + u".git" + PathDelim;
    std::set<String> visited, starts;
    for (const TEventRecord& record : fEvents) {
      if (record.Event == evtDirectoryVisited) {
        EXPECT_TRUE(visited.insert(record.Value).second) << StringToUtf8Bytes(record.Value);
      }
      if (record.Event == evtGitDirectoryStart) starts.insert(record.Value);
    }
    // Every level of the chain, every sibling and what it holds, once: all but the top's
    // side, which holds a repository and is not searched further. The link back up is not
    // taken.
    EXPECT_EQ(visited.size(), static_cast<std::size_t>(5 * depth));
    EXPECT_TRUE(visited.contains(bottom));
    EXPECT_EQ(starts, (std::set<String>{deepGit, Dir(top + "/side/.git")}));
    EXPECT_TRUE(PackMatchesIndex(top + "/side/.git", "shallow"));

    // A callback that throws at the bottom still gets the repository's end event.
    const auto deepStart = std::ranges::find(fEvents, TEventRecord{evtGitDirectoryStart, deepGit});
    fThrowAt = static_cast<std::size_t>(deepStart - fEvents.begin()) + 2;
    EXPECT_THROW(Run(PathOf(top)), TCallbackFailure);
    EXPECT_EQ(fEvents.back(), (TEventRecord{evtGitDirectoryEnd, deepGit}));
    fThrowAt = 0;

    UnwrapChain(top, name, depth);
    EXPECT_TRUE(PackMatchesIndex(top + "/.git", "deep"));
  }
}

namespace {

// Runs git in Directory with no configuration but the options given here.
int Git(const fs::path& home, const fs::path& directory, const std::string& arguments) {
  const std::string command = "cd '" + directory.string() + "' && env -i PATH=\"$PATH\" HOME='" + home.string() +
                              "' GIT_CONFIG_NOSYSTEM=1 git -c user.name=Tidemark -c user.email=tidemark@example.invalid "
                              "-c init.defaultBranch=main -c protocol.file.allow=always " +
                              arguments + " >/dev/null 2>&1";
  return std::system(command.c_str());
}

std::string Contents(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

}  // namespace

TEST_F(Tidemark, RepositoriesMadeByGitStayIntact) {
  if (RunningUnderWine() || std::system("env -i sh -c 'command -v git' >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "needs git and a POSIX shell";
  }
  MakeDir("lib");
  MakeDir("super");
  for (const auto& [directory, arguments] : std::vector<std::pair<std::string, std::string>>{
           {"lib", "init"}, {"lib", "commit --allow-empty -m one"}, {"lib", "commit --allow-empty -m two"},
           {"lib", "repack -a -d"}, {"super", "init"}, {"super", "commit --allow-empty -m one"},
           {"super", "submodule add '" + (Root() / "lib").string() + "' lib"}, {"super", "commit -m sub"},
           {"super", "repack -a -d"}, {"super/lib", "repack -a -d"}, {"super", "worktree add ../tree"}}) {
    ASSERT_EQ(Git(Root(), Root() / directory, arguments), 0) << directory << ": git " << arguments;
  }
  std::map<fs::path, std::string> packs;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Root())) {
    if (entry.path().extension() != ".pack") continue;
    packs[entry.path()] = Contents(entry.path());
    TFileTime time = StoredTimes(entry.path())->LastWrite;
    time.Low ^= 1u;
    ASSERT_TRUE(SetFileLastWriteTime(ToString(entry.path()), time));
  }
  ASSERT_EQ(packs.size(), 3u);

  EXPECT_TRUE(Run(PathOf()));
  EXPECT_EQ(std::ranges::count(fEvents, evtPackFileTimeChanged, &TEventRecord::Event), 3);
  for (const auto& [pack, contents] : packs) {
    SCOPED_TRACE(pack.string());
    EXPECT_EQ(StoredTimes(pack)->LastWrite, StoredTimes(fs::path(pack).replace_extension(".idx"))->LastWrite);
    EXPECT_EQ(Contents(pack), contents);
  }
  for (const char* directory : {"lib", "super", "super/lib", "tree"}) {
    EXPECT_EQ(Git(Root(), Root() / directory, "fsck --full --strict"), 0) << directory;
  }
}
