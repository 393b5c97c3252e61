#include "engine/uTidemark.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

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

  void MakeGitDir(const std::string& gitDir) const {
    WriteFile(gitDir + "/index");
    WriteFile(gitDir + "/HEAD", "ref: refs/heads/main\n");
    MakeDir(gitDir + "/objects/pack");
  }

  fs::path PackPath(const std::string& gitDir, const std::string& name, const char* extension) const {
    return (Root() / gitDir / "objects" / "pack" / ("pack-" + name + extension)).make_preferred();
  }

  void AddPack(const std::string& gitDir, const std::string& name, TPackTime time) const {
    WriteFile(PackPath(gitDir, name, ".idx"), "index of " + name);
    WriteFile(PackPath(gitDir, name, ".pack"), "pack " + name);
    TFileTime packTime = StoredTimes(PackPath(gitDir, name, ".idx"))->LastWrite;
    if (time == TPackTime::OneStepOff) packTime.Low ^= 1u;
    if (time == TPackTime::Newer) packTime.High += 200;
    if (time == TPackTime::Older) packTime.High -= 200;
    ASSERT_TRUE(SetFileLastWriteTime(ToString(PackPath(gitDir, name, ".pack")), packTime));
  }

  bool PackMatchesIndex(const std::string& gitDir, const std::string& name) const {
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

  TTidemark fEngine;
  std::vector<TEventRecord> fEvents;
  std::size_t fThrowAt = 0;
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
