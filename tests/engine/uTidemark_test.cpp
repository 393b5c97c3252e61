#include "engine/uTidemark.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <set>

#include "compat/uCompatibility.h"
#include "engine/EngineTestTree.h"

using enum TLogEvent;

namespace {

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

class Tidemark : public EngineTreeTest {
protected:
  // A working tree whose repository holds submodules nested ten deep, the last below a
  // directory of modules that is none, and repositories never searched for: one in the working
  // tree, one in the repository directory outside "modules". Returns the events of a walk from
  // the working tree; the packs of even level are one tick off.
  std::vector<TEventRecord> MakeNestedSubmodules() const {
    MakeGitDir("w/src/inner/.git");
    MakeGitDir("w/.git/other/.git");
    std::vector<TEventRecord> events = {{evtDirectoryVisited, Dir("w")}};
    fs::path gitDir = "w/.git";
    for (int level = 0; level <= 11; ++level) {
      if (level > 0) gitDir /= fs::path("modules") / (level <= 10 ? "m" + std::to_string(level) : "plain/c");
      MakeGitDir(gitDir);
      MakeDir(gitDir / "refs" / "heads");  // not a repository: descended into, nothing found
      AddPack(gitDir, std::to_string(level), level % 2 ? Equal : OneTick);
      events.push_back({evtGitDirectoryStart, Dir(gitDir)});
      events.push_back({level % 2 ? evtPackFileTimeNotChanged : evtPackFileTimeChanged,
                        u"pack-" + Utf8BytesToString(std::to_string(level)) + u".pack"});
      if (level > 0) events.push_back({evtGitDirectoryEnd, Dir(gitDir)});
    }
    events.push_back({evtGitDirectoryEnd, Dir("w/.git")});
    return events;
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
          WriteFile(Pack(gitDir, pack));
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
          AddPack(base / "upper", "upper", OneTick);
          break;
        case 7:  // a directory named like a pack, an index that is a directory, a pack in capitals
          repository(git);
          MakeDir(Pack(git, "dir"));
          WriteFile(Pack(git, "dir", ".idx"));
          WriteFile(Pack(git, "idx-dir"));
          MakeDir(Pack(git, "idx-dir", ".idx"));
          WriteFile(git / "objects" / "pack" / "PACK-CAPITALS.PACK");
          WriteFile(git / "objects" / "pack" / "pack-capitals.idx");
          fOddPacks = git;
          break;
      }
    }
    if (!Link(fs::path("trees") / "loop", "trees")) return;
    const auto link = [&](const fs::path& at, const fs::path& target, TLinkTarget kind) {
      ASSERT_TRUE(Link(at, target, kind)) << at;
    };
    link("alias", fWorkingTree, TLinkTarget::Directory);
    link("gone", "missing", TLinkTarget::Directory);
    link(fModules / "modules" / "a" / "up", fModules, TLinkTarget::Directory);
    const fs::path packDir = fOddPacks / "objects" / "pack";
    // An index older than anything made here, so that the link's own time differs from it.
    WriteFile(packDir / "pack-dangling.idx");
    TFileTime older = Time(packDir / "pack-dangling.idx");
    older.High -= 200;
    ASSERT_TRUE(SetFileLastWriteTime(PathOf(packDir / "pack-dangling.idx"), older));
    link(packDir / "pack-dangling.pack", "missing", TLinkTarget::File);
    AddPack(fOddPacks, "linked", Older);
    fs::rename(Root() / Pack(fOddPacks, "linked"), Root() / "target.bin");
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

  static fs::path Utf8Path(const char* name) { return ToPath(Utf8BytesToString(name)); }

  // Places in the variety tree.
  fs::path fWorkingTree, fModules, fOddPacks;
  bool fLinks = false;
};

}  // namespace

TEST_F(Tidemark, SubmodulesNestedTenDeepEachGetAPairWhereverTheWalkStarts) {
  std::vector<TEventRecord> expected = MakeNestedSubmodules();
  // From the working tree, with recursion and without (the modules are walked all the same),
  // and from the repository directory, with and without a delimiter.
  const std::pair<String, bool> starts[] = {
      {PathOf("w"), true}, {PathOf("w"), false}, {PathOf("w/.git"), true}, {PathOf("w/.git") + PathDelim, true}};
  for (const auto& [start, recursive] : starts) {
    SCOPED_TRACE(StringToUtf8Bytes(start));
    expected[0].Value = start == PathOf("w") ? Dir("w") : Dir("w/.git");
    EXPECT_TRUE(Run(start, recursive));
    EXPECT_EQ(fEvents, expected);
    for (TEventRecord& e : expected) {
      if (e.Event == evtPackFileTimeChanged) e.Event = evtPackFileTimeNotChanged;
    }
  }
  EXPECT_TRUE(Aligned("w/.git", "0"));

  // A callback that throws, at any of the events, leaves no repository open.
  for (std::size_t throwAt = 1; throwAt <= expected.size(); ++throwAt) {
    SCOPED_TRACE(throwAt);
    AddPack("w/.git", "0", OneTick);
    fOnEvent = [&](const TEventRecord&) {
      if (fEvents.size() == throwAt) throw TCallbackFailure{};
    };
    EXPECT_THROW(Run(PathOf("w")), TCallbackFailure);
    ExpectNestedPairs(throwAt);
  }

  // Without a callback the same work is done, silently.
  AddPack("w/.git", "0", Newer);
  EXPECT_TRUE(TTidemark().Process(PathOf("w"), true));
  EXPECT_TRUE(Aligned("w/.git", "0"));
}

TEST_F(Tidemark, OnlyACompleteRepositoryDirectoryEndsTheWalk) {
  const std::pair<const char*, void (*)(const fs::path& gitDir)> cases[] = {
      {".git is a file", [](const fs::path& d) { fs::remove_all(d); std::ofstream(d) << "gitdir: elsewhere"; }},
      {"no index", [](const fs::path& d) { fs::remove(d / "index"); }},
      {"no HEAD", [](const fs::path& d) { fs::remove(d / "HEAD"); }},
      {"no objects/pack", [](const fs::path& d) { fs::remove(d / "objects" / "pack"); }},
      {"no objects", [](const fs::path& d) { fs::remove_all(d / "objects"); }},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].first);
    const std::string tree = "case" + std::to_string(i);
    MakeGitDir(tree + "/.git");
    cases[i].second(Root() / tree / ".git");
    MakeGitDir(tree + "/sub/.git");
    EXPECT_TRUE(Run(tree));
    EXPECT_EQ(Only(evtGitDirectoryStart), (std::vector<TEventRecord>{{evtGitDirectoryStart, Dir(tree + "/sub/.git")}}));
  }
}

TEST_F(Tidemark, FailuresAreReportedAndTheWalkGoesOn) {
  MakeGitDir("w/.git");
  for (const char* name : {"unreadable", "unreadable-index", "refused", "fine"}) AddPack("w/.git", name, OneTick);
  MakeGitDir("w/.git/modules/s");
  AddPack("w/.git/modules/s", "b", Older);
  TFaultyFileSystem fileSystem;
  fileSystem.UnreadableTimes = {PathOf(Pack("w/.git", "unreadable")),
                                PathOf(Pack("w/.git", "unreadable-index", ".idx"))};
  fileSystem.RefusedTimeChanges = {PathOf(Pack("w/.git", "refused"))};
  TTidemark engine(fileSystem);
  engine.SetOnLogEvent(fEngine.OnLogEvent());

  EXPECT_FALSE(engine.Process(PathOf("w"), true));
  EXPECT_EQ(PackEvents(), (std::multiset<TEventRecord>{
                              {evtPackFileTimeChanged, u"pack-b.pack"},
                              {evtPackFileTimeChanged, u"pack-fine.pack"},
                              {evtPackFileTimeChangeFailed, u"pack-refused.pack"},
                              {evtPackFileTimeChangeFailed, u"pack-unreadable.pack"},
                              {evtPackFileTimeChangeFailed, u"pack-unreadable-index.pack"},
                          }));
  EXPECT_FALSE(Aligned("w/.git", "refused"));
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

  EXPECT_FALSE(Run(String()));
  EXPECT_TRUE(fEvents.empty());
  for (const std::string missing : {"missing", "file"}) {
    EXPECT_TRUE(Run(missing));
    EXPECT_EQ(fEvents, (std::vector<TEventRecord>{{evtDirectoryVisited, Dir(missing)}}));
  }
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
      if (!entry.IsDirectory() || entry.IsLink || entry.Name == u"." || entry.Name == u"..") continue;
      const String subdirectory = dir + entry.Name + PathDelim;
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
    EXPECT_EQ(Run(run.Start, run.Recursive), expected);
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
  // Deep enough for the walk to give up directories on its way down and to take them back on
  // its way up; past MAX_PATH, and but under Wine (whose host ends paths at 4096 bytes) past
  // PATH_MAX as well.
  const fs::path name = "a-directory-name-of-some-length";
  const int depth = RunningUnderWine() ? 100 : 200;
  MakeGitDir("top/.git");
  AddPack("top/.git", "deep", OneTick);
  // Made by moving "top" down one level at a time, so that no path used here grows long. Each
  // level has siblings "side" and "later" that hold a directory, made before and after the
  // chain, so that file systems that list in the order of making, or in the reverse, show one
  // of them after it. Where links can be made, the chain passes through one at two thirds of
  // its depth, and the deepest "side" holds a link back to the top.
  const fs::path top = Root() / "top", wrapper = Root() / "wrapper";
  bool links = false;
  for (int level = depth; level > 0; --level) {
    fs::create_directories(wrapper / "side" / "s");
    if (level == depth) links = MakeLink(wrapper / "side" / "up", top, TLinkTarget::Directory);
    if (level == depth * 2 / 3 && links) {
      fs::rename(top, Root() / "elsewhere");
      ASSERT_TRUE(MakeLink(wrapper / name, Root() / "elsewhere", TLinkTarget::Directory));
    } else {
      fs::rename(top, wrapper / name);
    }
    fs::create_directories(wrapper / "later" / "s");
    fs::rename(wrapper, top);
  }
  MakeGitDir("top/side/.git");
  AddPack("top/side/.git", "shallow", Newer);

  EXPECT_TRUE(Run("top"));
  String bottom = Dir("top");
  for (int level = 0; level < depth; ++level) bottom += ToString(name) + PathDelim;
  const String deepGit = bottom + u".git" + PathDelim;
  std::set<String> visited;
  for (const TEventRecord& e : Only(evtDirectoryVisited)) {
    EXPECT_TRUE(visited.insert(e.Value).second) << StringToUtf8Bytes(e.Value);
  }
  // Every level of the chain, every sibling and what it holds, once: all but the top's side,
  // which holds a repository and is not searched further. The link back up is not taken.
  EXPECT_EQ(visited.size(), static_cast<std::size_t>(5 * depth));
  EXPECT_TRUE(visited.contains(bottom));
  std::vector<TEventRecord> starts = Only(evtGitDirectoryStart);
  std::ranges::sort(starts);
  EXPECT_EQ(starts, (std::vector<TEventRecord>{{evtGitDirectoryStart, deepGit},
                                               {evtGitDirectoryStart, Dir("top/side/.git")}}));
  EXPECT_TRUE(Aligned("top/side/.git", "shallow"));

  // A callback that throws at the bottom still gets the repository's end event.
  fOnEvent = [](const TEventRecord& e) {
    if (e.Value == u"pack-deep.pack") throw TCallbackFailure{};
  };
  EXPECT_THROW(Run("top"), TCallbackFailure);
  EXPECT_EQ(fEvents.back(), (TEventRecord{evtGitDirectoryEnd, deepGit}));

  for (int level = 0; level < depth; ++level) {
    fs::rename(top / name, Root() / "unwrapped");
    fs::remove_all(top);
    fs::rename(Root() / "unwrapped", top);
  }
  EXPECT_TRUE(Aligned("top/.git", "deep"));
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

  EXPECT_TRUE(Run());
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
