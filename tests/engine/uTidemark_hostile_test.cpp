// The engine against trees made to trip it up: loops of links, entries that are not what their
// names say, entries that change while the walk runs, directories it may not read, odd names,
// paths beyond the platform's limit, great depth and great numbers.

#include "engine/uTidemark.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "framework/uConsoleApp.h"
#include "framework/uStrings.h"
#include "rtl/FileSystem.h"
#include "rtl/Path.h"
#include "rtl/Process.h"
#include "rtl/Utf8.h"
#include "support/DeepTree.h"
#include "support/FileTools.h"
#include "support/LockedOut.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;
using enum TLogEvent;

namespace {

const bool OnWindows = PathDelim == u'\\';
const char* const NoLinks = "Wine makes no links: CreateSymbolicLinkW reports success and makes none";

struct TEventRecord {
  TLogEvent Event;
  String Value;
  auto operator<=>(const TEventRecord&) const = default;
};

// A real directory, whatever way it was reached; the same for all that cannot be told.
using TIdentityKey = std::pair<std::uint64_t, std::uint64_t>;

TIdentityKey IdentityOf(const String& path) {
  const std::optional<TFileIdentity> identity = GetFileIdentity(path);
  return identity ? TIdentityKey{identity->Volume, identity->Index} : TIdentityKey{};
}

void PrintTo(const TEventRecord& record, std::ostream* out) {
  *out << static_cast<int>(record.Event) << ":" << StringToUtf8Bytes(record.Value);
}

class HostileTree : public TempDirTest {
protected:
  void SetUp() override {
    TempDirTest::SetUp();
    fEngine.SetOnLogEvent([this](TTidemark&, TLogEvent event, const String& value) {
      fEvents.push_back({event, value});
      if (fOnEvent) fOnEvent(fEvents.back());
    });
  }

  bool Run(const fs::path& start = {}, bool recursive = true) {
    fEvents.clear();
    return fEngine.Process(PathOf(start), recursive);
  }

  // A directory as events name it.
  String Dir(const fs::path& relative) const {
    return ToString(relative.empty() ? Root() : (Root() / relative).make_preferred()) + PathDelim;
  }

  void MakeGitDir(const fs::path& gitDir) const {
    WriteFile(gitDir / "index");
    WriteFile(gitDir / "HEAD", "ref: refs/heads/main\n");
    MakeDir(gitDir / "objects" / "pack");
  }

  static fs::path Pack(const fs::path& gitDir, const fs::path& name, const char* extension = ".pack") {
    fs::path file = "pack-";
    (file += name) += extension;
    return gitDir / "objects" / "pack" / file;
  }

  // A pack with its index; one tick off the index's time when OutOfLine.
  void AddPack(const fs::path& gitDir, const fs::path& name, bool outOfLine) const {
    WriteFile(Pack(gitDir, name, ".idx"), "idx");
    WriteFile(Pack(gitDir, name), "pack");
    TFileTime time = IndexTime(gitDir, name);
    if (outOfLine) time.Low ^= 1u;
    ASSERT_TRUE(SetFileLastWriteTime(PathOf(Pack(gitDir, name)), time));
  }

  TFileTime IndexTime(const fs::path& gitDir, const fs::path& name) const {
    return StoredTimes(Root() / Pack(gitDir, name, ".idx"))->LastWrite;
  }

  bool Aligned(const fs::path& gitDir, const fs::path& name) const {
    return StoredTimes(Root() / Pack(gitDir, name))->LastWrite == IndexTime(gitDir, name);
  }

  bool Link(const fs::path& at, const fs::path& target, TLinkTarget kind = TLinkTarget::Directory) const {
    return MakeLink(Root() / at, Root() / target, kind);
  }

  // Links can be made here; the probe is gone again afterwards.
  bool LinksPossible() const {
    if (!Link("probe", "")) return false;
    RemoveLink(PathOf("probe"));
    return true;
  }

  // The last-write time of every entry of the tree, links themselves included (not followed),
  // by path relative to the root.
  std::map<fs::path, TFileTime> WriteTimes() const {
    std::map<fs::path, TFileTime> times;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Root())) {
      times[entry.path().lexically_relative(Root())] = StoredTimes(entry.path())->LastWrite;
    }
    return times;
  }

  // The file that Relative leads to, relative to the root.
  fs::path Real(const fs::path& relative) const {
    return fs::canonical(Root() / relative).lexically_relative(fs::canonical(Root()));
  }

  std::vector<TEventRecord> Only(TLogEvent event) const {
    std::vector<TEventRecord> found;
    std::ranges::copy_if(fEvents, std::back_inserter(found), [&](const TEventRecord& e) { return e.Event == event; });
    return found;
  }

  // Every start has its end, at once for the repositories under "modules", around them for the
  // one that holds them; and no real directory starts again while its own pair is open, which
  // only a loop could make it do.
  void ExpectWellFormedPairs() const {
    std::vector<TEventRecord> open;
    for (const TEventRecord& e : fEvents) {
      if (e.Event == evtGitDirectoryStart) {
        for (const TEventRecord& outer : open) {
          EXPECT_NE(IdentityOf(outer.Value), IdentityOf(e.Value)) << StringToUtf8Bytes(e.Value);
        }
        open.push_back(e);
      } else if (e.Event == evtGitDirectoryEnd) {
        ASSERT_FALSE(open.empty());
        EXPECT_EQ(e.Value, open.back().Value);
        open.pop_back();
      }
    }
    EXPECT_TRUE(open.empty());
  }

  TTidemark fEngine;
  std::vector<TEventRecord> fEvents;
  // Called after each event is recorded: lets a test change the tree while the walk runs.
  std::function<void(const TEventRecord&)> fOnEvent;
};

}  // namespace

TEST_F(HostileTree, LinkLoopsEndWithEveryDirectoryVisitedAtMostTwice) {
  if (!LinksPossible()) GTEST_SKIP() << NoLinks;
  struct TLink {
    std::string At, Target;
  };
  struct TCase {
    std::string Name;
    std::vector<std::string> GitDirs;
    std::vector<TLink> Links;  // a target that no link names is made as a directory
  };
  std::vector<TCase> cases = {
      {"a link to its own directory", {"d/w/.git"}, {{"d/self", "d"}}},
      {"a link to an ancestor", {"a/w/.git", "a/b/c/w/.git"}, {{"a/b/c/up", "a"}}},
      {"links into each other's directories", {"x/w/.git", "y/w/.git"}, {{"x/to-y", "y"}, {"y/to-x", "x"}}},
      {"two links to each other", {"p/w/.git"}, {{"p/one", "p/two"}, {"p/two", "p/one"}}},
      {"modules that is a link to its own repository", {"r/.git"}, {{"r/.git/modules", "r/.git"}}},
      {"modules that is a link to the working tree", {"r/.git"}, {{"r/.git/modules", "r"}}},
      {"a submodule's modules linked to the top",
       {"r/.git", "r/.git/modules/s"},
       {{"r/.git/modules/s/modules", "r/.git"}}},
      {"submodules linked to each other",
       {"r/.git", "r/.git/modules/a", "r/.git/modules/b"},
       {{"r/.git/modules/a/to-b", "r/.git/modules/b"}, {"r/.git/modules/b/to-a", "r/.git/modules/a"}}},
      {"a submodule linked to its modules directory",
       {"r/.git", "r/.git/modules/a"},
       {{"r/.git/modules/a/up", "r/.git/modules"}}},
  };
  // A ladder whose every rung is linked twice to the next, and directories each linked to
  // every one of them: the number of paths through them grows beyond any patience.
  TCase ladder{"a ladder of links", {"l14/w/.git"}, {}};
  for (int rung = 0; rung < 14; ++rung) {
    for (const char* side : {"/x", "/y"}) {
      ladder.Links.push_back({"l" + std::to_string(rung) + side, "l" + std::to_string(rung + 1)});
    }
  }
  TCase mesh{"directories each linked from every other", {"c0/w/.git", "c5/w/.git"}, {}};
  for (int from = 0; from < 7; ++from) {
    for (int to = 0; to < 7; ++to) {
      mesh.Links.push_back({"c" + std::to_string(from) + "/to-" + std::to_string(to), "c" + std::to_string(to)});
    }
  }
  cases.push_back(ladder);
  cases.push_back(mesh);

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    const fs::path base = "case" + std::to_string(i);
    std::set<TIdentityKey> repositories;
    for (const std::string& gitDir : c.GitDirs) {
      MakeGitDir(base / gitDir);
      AddPack(base / gitDir, "p", true);
      repositories.insert(IdentityOf(PathOf(base / gitDir)));
    }
    for (const TLink& link : c.Links) {
      if (std::ranges::none_of(c.Links, [&](const TLink& other) { return other.At == link.Target; })) {
        MakeDir(base / link.Target);
      }
      MakeDir((base / link.At).parent_path());
      ASSERT_TRUE(Link(base / link.At, base / link.Target)) << link.At;
    }

    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(Run(base));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    ExpectWellFormedPairs();
    std::map<TIdentityKey, int> visits, starts;
    for (const TEventRecord& e : Only(evtDirectoryVisited)) ++visits[IdentityOf(e.Value)];
    for (const TEventRecord& e : Only(evtGitDirectoryStart)) ++starts[IdentityOf(e.Value)];
    for (const auto& [directory, count] : visits) EXPECT_LE(count, 2);
    for (const TIdentityKey& repository : repositories) {
      EXPECT_GE(starts[repository], 1);
      EXPECT_LE(starts[repository], 2);
    }
    EXPECT_EQ(Only(evtPackFileTimeChanged).size(), repositories.size());
  }
}

TEST_F(HostileTree, PackAndIndexEntriesOfEveryKind) {
  const bool links = LinksPossible();
  MakeDir("elsewhere/dir");
  WriteFile("elsewhere/target", "target");
  WriteFile("elsewhere/index", "idx");
  const TFileTime elsewhereIndexTime = StoredTimes(Root() / "elsewhere" / "index")->LastWrite;
  const auto linkTo = [&](const fs::path& at, const char* target, TLinkTarget kind) {
    ASSERT_TRUE(Link(at, fs::path("elsewhere") / target, kind)) << at;
  };
  // Gives File (followed where it is a link) a time one tick off Time.
  const auto offTime = [&](const fs::path& file, TFileTime time) {
    time.Low ^= 1u;
    ASSERT_TRUE(SetFileLastWriteTime(PathOf(file), time));
  };
  enum class TOutcome { Skipped, Changed, Failed };
  struct TCase {
    const char* Name;
    bool NeedsLinks;
    std::function<void(const fs::path& pack, const fs::path& idx)> Make;
    TOutcome Outcome;
  };
  const TCase cases[] = {
      {"a directory named like a pack", false,
       [&](auto& pack, auto& idx) {
         MakeDir(pack);
         WriteFile(idx);
       },
       TOutcome::Skipped},
      {"an index that is a directory", false,
       [&](auto& pack, auto& idx) {
         WriteFile(pack);
         MakeDir(idx);
       },
       TOutcome::Skipped},
      {"a pack that is a link to a directory", true,
       [&](auto& pack, auto& idx) {
         linkTo(pack, "dir", TLinkTarget::Directory);
         WriteFile(idx);
       },
       TOutcome::Skipped},
      {"an index that is a link to a directory", true,
       [&](auto& pack, auto& idx) {
         WriteFile(pack);
         linkTo(idx, "dir", TLinkTarget::Directory);
       },
       TOutcome::Skipped},
      {"an index that is a dangling link", true,
       [&](auto& pack, auto& idx) {
         WriteFile(pack);
         linkTo(idx, "missing", TLinkTarget::File);
       },
       TOutcome::Skipped},
      {"a pack that is a dangling link", true,
       [&](auto& pack, auto& idx) {
         linkTo(pack, "missing", TLinkTarget::File);
         WriteFile(idx);
         // Its own time, which is all a dangling link has, differs from the index's.
         offTime(idx, StoredTimes(Root() / pack)->LastWrite);
       },
       TOutcome::Failed},
      {"an index that is a link to an index", true,
       [&](auto& pack, auto& idx) {
         WriteFile(pack);
         linkTo(idx, "index", TLinkTarget::File);
         offTime(pack, elsewhereIndexTime);
       },
       TOutcome::Changed},
      {"a pack that is a link to a file", true,
       [&](auto& pack, auto& idx) {
         WriteFile(idx);
         linkTo(pack, "target", TLinkTarget::File);
         offTime(pack, StoredTimes(Root() / idx)->LastWrite);
       },
       TOutcome::Changed},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    if (c.NeedsLinks && !links) continue;
    const fs::path gitDir = "g" + std::to_string(i);
    MakeGitDir(gitDir);
    const fs::path pack = Pack(gitDir, "x"), idx = Pack(gitDir, "x", ".idx");
    c.Make(pack, idx);
    std::map<fs::path, TFileTime> before = WriteTimes();

    EXPECT_EQ(Run(gitDir), c.Outcome != TOutcome::Failed);
    std::vector<TEventRecord> expected = {{evtDirectoryVisited, Dir(gitDir)}, {evtGitDirectoryStart, Dir(gitDir)}};
    if (c.Outcome != TOutcome::Skipped) {
      expected.push_back(
          {c.Outcome == TOutcome::Changed ? evtPackFileTimeChanged : evtPackFileTimeChangeFailed, u"pack-x.pack"});
    }
    expected.push_back({evtGitDirectoryEnd, Dir(gitDir)});
    EXPECT_EQ(fEvents, expected);

    // Nothing changes but the time of the pack, or of the file it leads to, which takes the
    // time of the index, or of the file that leads to; a link keeps its own.
    std::map<fs::path, TFileTime> after = WriteTimes();
    if (c.Outcome == TOutcome::Changed) {
      const fs::path changed = Real(pack);
      EXPECT_EQ(after[changed], after[Real(idx)]);
      EXPECT_NE(after[changed], before[changed]);
      after[changed] = before[changed];
    }
    EXPECT_EQ(after, before);
  }
}

TEST_F(HostileTree, DirectoriesThatGoOrChangeWhileTheWalkRunsYieldNothing) {
  // Windows goes by path and follows a link that took a listed directory's place.
  const bool links = !OnWindows && LinksPossible();
  MakeGitDir("outside/w/.git");
  AddPack("outside/w/.git", "p", true);
  std::set<String> children;
  for (int i = 0; i < 6; ++i) {
    const fs::path child = "t/t" + std::to_string(i);
    MakeGitDir(child / "w" / ".git");
    AddPack(child / "w" / ".git", "p", true);
    children.insert(Dir(child));
  }
  // When the walk arrives at the first of them, the others vanish, or become files, or links
  // to a tree outside, and a new one appears.
  String first;
  fOnEvent = [&](const TEventRecord& e) {
    if (e.Event != evtDirectoryVisited || !first.empty() || !children.contains(e.Value)) return;
    first = e.Value;
    int change = 0;
    for (const String& child : children) {
      if (child == first) continue;
      const fs::path path = ToPath(child.substr(0, child.size() - 1));
      fs::remove_all(path);
      if (change % 3 == 1) WriteFile(path.lexically_relative(Root()), "now a file");
      if (change % 3 == 2 && links) {
        ASSERT_TRUE(Link(path.lexically_relative(Root()), "outside"));
      }
      ++change;
    }
    MakeGitDir("t/new/w/.git");
  };
  EXPECT_TRUE(Run("t"));
  EXPECT_EQ(Only(evtGitDirectoryStart),
            (std::vector<TEventRecord>{{evtGitDirectoryStart, first + u"w" + PathDelim + u".git" + PathDelim}}));
  EXPECT_EQ(Only(evtPackFileTimeChanged).size(), 1u);
  EXPECT_FALSE(Aligned("outside/w/.git", "p")) << "a tree outside was entered";
  for (const TEventRecord& e : Only(evtDirectoryVisited)) {
    EXPECT_TRUE(e.Value == Dir("t") || children.contains(e.Value) || e.Value.starts_with(first))
        << StringToUtf8Bytes(e.Value);
  }
}

TEST_F(HostileTree, PacksThatGoWhileTheirRepositoryIsProcessedAreReportedTruthfully) {
  MakeGitDir("g");
  for (int i = 0; i < 8; ++i) AddPack("g", std::to_string(i), true);
  // After the first pack, the packs of even number lose their pack file, the others their
  // index.
  String first;
  fOnEvent = [&](const TEventRecord& e) {
    if (e.Event < evtPackFileTimeNotChanged || !first.empty()) return;
    first = e.Value;
    for (int i = 0; i < 8; ++i) {
      const std::string name = std::to_string(i);
      if (u"pack-" + Utf8BytesToString(name) + u".pack" != first) {
        fs::remove(Root() / Pack("g", name, i % 2 == 0 ? ".pack" : ".idx"));
      }
    }
  };
  EXPECT_FALSE(Run("g"));
  std::multiset<TEventRecord> expected = {{evtPackFileTimeChanged, first}};
  for (const char16_t* name : {u"pack-0.pack", u"pack-2.pack", u"pack-4.pack", u"pack-6.pack"}) {
    if (name != first) expected.insert({evtPackFileTimeChangeFailed, name});
  }
  std::multiset<TEventRecord> packEvents;
  std::ranges::copy_if(fEvents, std::inserter(packEvents, packEvents.end()),
                       [](const TEventRecord& e) { return e.Event >= evtPackFileTimeNotChanged; });
  EXPECT_EQ(packEvents, expected);

  // A repository that vanishes as a whole once it has started ends without a word more.
  MakeGitDir("w/.git");
  AddPack("w/.git", "p", true);
  MakeGitDir("w/.git/modules/s");
  fOnEvent = [&](const TEventRecord& e) {
    if (e.Event == evtGitDirectoryStart) fs::remove_all(Root() / "w");
  };
  EXPECT_TRUE(Run("w"));
  EXPECT_EQ(fEvents, (std::vector<TEventRecord>{{evtDirectoryVisited, Dir("w")},
                                                {evtGitDirectoryStart, Dir("w/.git")},
                                                {evtGitDirectoryEnd, Dir("w/.git")}}));
}

TEST_F(HostileTree, DirectoriesThatMayNotBeReadHideWhatIsBeyondThem) {
  MakeGitDir("open/w/.git");
  AddPack("open/w/.git", "p", false);
  MakeGitDir("locked/w/.git");
  // One that may be entered but not listed: a repository in it is reached by name, a
  // working tree below it is not found.
  MakeGitDir("unlisted/.git");
  AddPack("unlisted/.git", "p", false);
  MakeGitDir("unlisted-above/sub/w/.git");
  const TLockedDirectory locked(Root() / "locked", TLock::Everything);
  const TLockedDirectory unlisted(Root() / "unlisted", TLock::Listing);
  const TLockedDirectory unlistedAbove(Root() / "unlisted-above", TLock::Listing);
  if (!locked.Holds() || !unlisted.Holds() || !unlistedAbove.Holds()) GTEST_SKIP() << "the platform refused the locks";

  const std::optional<std::string> trace = RunLockedOut([&] {
    std::ostringstream out;
    if (TFileSearch(PathOf("locked") + PathDelim + String(AllFilesMask)).Found()) return std::string("not locked");
    TTidemark engine;
    engine.SetOnLogEvent([&](TTidemark&, TLogEvent event, const String& value) {
      out << static_cast<int>(event) << " " << StringToUtf8Bytes(value) << "\n";
    });
    const bool result = engine.Process(PathOf(), true);
    return std::to_string(result) + "\n" + out.str();
  });
  ASSERT_TRUE(trace) << "the locked-out run failed";
  if (*trace == "not locked") GTEST_SKIP() << "the locks do not bind here (Wine does not enforce access control)";
  std::istringstream lines(*trace);
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "1") << "the result";
  std::multiset<TEventRecord> events;
  while (std::getline(lines, line)) {
    const std::size_t blank = line.find(' ');
    events.insert(
        {static_cast<TLogEvent>(std::stoi(line.substr(0, blank))), Utf8BytesToString(line.substr(blank + 1))});
  }
  EXPECT_EQ(events, (std::multiset<TEventRecord>{
                        {evtDirectoryVisited, Dir("")},
                        {evtDirectoryVisited, Dir("open")},
                        {evtDirectoryVisited, Dir("open/w")},
                        {evtGitDirectoryStart, Dir("open/w/.git")},
                        {evtPackFileTimeNotChanged, u"pack-p.pack"},
                        {evtGitDirectoryEnd, Dir("open/w/.git")},
                        {evtDirectoryVisited, Dir("locked")},
                        {evtDirectoryVisited, Dir("unlisted")},
                        {evtGitDirectoryStart, Dir("unlisted/.git")},
                        {evtPackFileTimeNotChanged, u"pack-p.pack"},
                        {evtGitDirectoryEnd, Dir("unlisted/.git")},
                        {evtDirectoryVisited, Dir("unlisted-above")},
                    }));
}

namespace {

fs::path NameFromUtf8(std::string_view bytes) { return ToPath(Utf8BytesToString(bytes)); }

// A path as the program prints it to a file: POSIX gives the bytes of the name back, escaped
// ones included; Windows writes the ANSI code page.
std::string Printed(const String& text) {
  if (!OnWindows) return StringToUtf8Bytes(text);
  return WideToMultiByte(CodePageAnsi, text.data(), static_cast<int>(text.size()));
}

// Repositories made through TDeepDirectory, which reaches every name and every depth: a
// working tree whose .git holds the pack "pack-<Pack>.pack" (Pack in UTF-8).
std::string PackFile(const std::string& pack, const char* extension = ".pack") {
  return ".git/objects/pack/pack-" + pack + extension;
}

void Misalign(const TDeepDirectory& workTree, const std::string& pack) {
  TFileTime time = *workTree.LastWriteTime(PackFile(pack, ".idx"));
  time.Low ^= 1u;
  ASSERT_TRUE(workTree.SetLastWriteTime(PackFile(pack), time));
}

void MakeRepository(const TDeepDirectory& workTree, const std::string& pack) {
  ASSERT_TRUE(workTree.Made());
  ASSERT_TRUE(workTree.WriteFile(".git/index"));
  ASSERT_TRUE(workTree.WriteFile(".git/HEAD", "ref: refs/heads/main\n"));
  ASSERT_TRUE(workTree.WriteFile(PackFile(pack, ".idx"), "idx"));
  ASSERT_TRUE(workTree.WriteFile(PackFile(pack), "pack"));
  Misalign(workTree, pack);
}

bool PackAligned(const TDeepDirectory& workTree, const std::string& pack) {
  return workTree.LastWriteTime(PackFile(pack)) == workTree.LastWriteTime(PackFile(pack, ".idx"));
}

String GitDirOf(const TDeepDirectory& workTree) { return workTree.Path() + PathDelim + u".git" + PathDelim; }

}  // namespace

TEST_F(HostileTree, RepositoriesWithOddNamesAreFoundAndPrintedOnTheirLines) {
  std::vector<std::string> names = {
      // Blanks, option and format signs.
      "a b",
      " leading blank",
      "-r",
      "--",
      "100% %s %d",
      // Beyond ASCII, and beyond the Basic Multilingual Plane.
      "na\xC3\xAFve",
      "\xE6\x97\xA5\xE6\x9C\xAC",
      "\xF0\x9D\x84\x9E clef",
  };
  if (OnWindows) {
    // Names that Windows paths hold only in the \\?\ form: the others drop a trailing dot
    // or blank.
    names.insert(names.end(), {"dot.", "blank "});
  } else {
    // Bytes that are no UTF-8: a lone continuation byte, a lone lead byte, an encoded surrogate.
    // Control characters, C0 and C1, which Windows names cannot hold.
    names.insert(names.end(), {"\x80", "lead \xC3", "\xED\xA0\x80", "line\nfeed", "return\r", "tab\t",
                               "\x1B[7mreverse", "del\x7F", "csi\xC2\x9B" "2J"});
  }
  MakeDir("-r");
  std::vector<std::unique_ptr<TDeepDirectory>> workTrees;
  std::multiset<TEventRecord> expected;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    workTrees.push_back(std::make_unique<TDeepDirectory>(Root() / "-r", NameFromUtf8(name), 1));
    MakeRepository(*workTrees.back(), name);
    expected.insert({evtGitDirectoryStart, GitDirOf(*workTrees.back())});
    expected.insert({evtPackFileTimeChanged, u"pack-" + Utf8BytesToString(name) + u".pack"});
  }

  EXPECT_TRUE(Run("-r"));
  std::multiset<TEventRecord> found;
  std::ranges::copy_if(fEvents, std::inserter(found, found.end()), [](const TEventRecord& e) {
    return e.Event == evtGitDirectoryStart || e.Event >= evtPackFileTimeNotChanged;
  });
  EXPECT_EQ(found, expected);
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    EXPECT_TRUE(PackAligned(*workTrees[i], names[i]));
    Misalign(*workTrees[i], names[i]);
  }

  // The program, given the directory as "./-r" so that it is taken for no option.
  TProgramRun run;
  {
    const TCurrentDirectory current(Root());
    run = RunProgram({u"-r", u"-v", u"detailed", u"." + String(1, PathDelim) + u"-r"});
  }
  EXPECT_EQ(run.exitCode, 0);
  const std::string nl = Printed(LineSeparator());
  // Every control character is shown as '?', so that a name can neither break its line nor
  // drive the terminal.
  const auto shown = [](String text) {
    std::ranges::replace_if(text, [](Char c) { return c < u' ' || (c >= u'\x7F' && c <= u'\x9F'); }, u'?');
    return Printed(text);
  };
  for (std::size_t i = 0; i < names.size(); ++i) {
    SCOPED_TRACE(names[i]);
    const String pack = u"pack-" + Utf8BytesToString(names[i]) + u".pack";
    EXPECT_NE(run.output.find(nl + "Scanning GIT directory " + shown(GitDirOf(*workTrees[i])) + "..." + nl +
                              "Changed time of " + shown(pack) + "!" + nl),
              std::string::npos)
        << run.output;
    EXPECT_TRUE(PackAligned(*workTrees[i], names[i]));
  }
}

TEST_F(HostileTree, ARepositoryBeyondThePathLimitIsProcessedAndReported) {
  // Past MAX_PATH on Windows (and within the 4096 bytes that Wine's host allows), past
  // PATH_MAX on POSIX.
  const fs::path name(std::string(50, 'n'));
  MakeDir("deep");
  const TDeepDirectory bottom(Root() / "deep", name, OnWindows ? 20 : 100);
  MakeRepository(bottom, "deep");
  if (HasFatalFailure()) return;
  MakeGitDir("shallow/.git");
  AddPack("shallow/.git", "p", true);

  const TProgramRun run = RunProgram({u"-r", u"-v", u"normal", PathOf()});
  EXPECT_EQ(run.exitCode, 0);
  const std::string nl = Printed(LineSeparator());
  EXPECT_NE(run.output.find(nl + "Scanning GIT directory " + Printed(GitDirOf(bottom)) + "..." + nl +
                            "Changed time of pack-deep.pack!" + nl),
            std::string::npos)
      << run.output;
  EXPECT_TRUE(PackAligned(bottom, "deep"));
  EXPECT_TRUE(Aligned("shallow/.git", "p"));
}

TEST_F(HostileTree, AChainAsDeepAsThePathLimitAllowsIsWalkedToItsBottom) {
  // POSIX has no limit on a walk by descriptors: ten thousand levels, five times PATH_MAX.
  // Windows stops at 32767 characters, Wine at the 4096 bytes of its host.
  const fs::path name = OnWindows ? "level-nr" : "d";
  const std::size_t limit = RunningUnderWine() ? 3000 : 32000;
  const std::size_t depth = OnWindows ? (limit - PathOf().size()) / 9 - 8 : 10000;
  const TDeepDirectory bottom(Root(), name, depth);
  MakeRepository(bottom, "deep");
  if (HasFatalFailure()) return;

  // The paths are long: counted, not kept.
  std::size_t visited = 0;
  std::vector<TEventRecord> others;
  TTidemark engine;
  engine.SetOnLogEvent([&](TTidemark&, TLogEvent event, const String& value) {
    if (event == evtDirectoryVisited) {
      ++visited;
    } else {
      others.push_back({event, value});
    }
  });
  EXPECT_TRUE(engine.Process(PathOf(), true));
  EXPECT_EQ(visited, depth + 1);
  EXPECT_EQ(others, (std::vector<TEventRecord>{{evtGitDirectoryStart, GitDirOf(bottom)},
                                               {evtPackFileTimeChanged, u"pack-deep.pack"},
                                               {evtGitDirectoryEnd, GitDirOf(bottom)}}));
  EXPECT_TRUE(PackAligned(bottom, "deep"));
}

TEST_F(HostileTree, ThousandsOfPacksInOneRepositoryAreAllHandled) {
  // Every file operation costs Wine a trip to its server: fewer there, still more than one
  // batch of a listing.
  const int count = RunningUnderWine() ? 500 : 3000;
  MakeGitDir("g");
  // Made by the handle of their directory, each with a time set outright: the fewest calls.
  const TDeepDirectory packs(Root() / "g" / "objects" / "pack", {}, 0);
  const TFileTime indexTime = StoredTimes(Root() / "g" / "index")->LastWrite;
  TFileTime offTime = indexTime;
  offTime.Low ^= 1u;
  std::size_t outOfLine = 0, withIndex = 0;
  for (int i = 0; i < count; ++i) {
    const std::string pack = "pack-" + std::to_string(i) + ".pack", idx = "pack-" + std::to_string(i) + ".idx";
    ASSERT_TRUE(packs.WriteFile(pack));
    if (i % 100 == 7) continue;  // without index
    ASSERT_TRUE(packs.WriteFile(idx));
    ASSERT_TRUE(packs.SetLastWriteTime(idx, indexTime));
    ASSERT_TRUE(packs.SetLastWriteTime(pack, i % 3 == 0 ? offTime : indexTime));
    ++withIndex;
    outOfLine += i % 3 == 0;
  }
  EXPECT_TRUE(Run("g"));
  EXPECT_EQ(Only(evtPackFileTimeChanged).size(), outOfLine);
  EXPECT_EQ(Only(evtPackFileTimeNotChanged).size(), withIndex - outOfLine);
  EXPECT_EQ(fEvents.size(), withIndex + 3);
  for (int i = 0; i < count; i += 3) {
    if (i % 100 != 7) {
      EXPECT_EQ(packs.LastWriteTime("pack-" + std::to_string(i) + ".pack"), indexTime) << i;
    }
  }
}

TEST_F(HostileTree, SubmodulesNestedTenDeepEachGetOnePairInTurn) {
  fs::path gitDir = "w/.git";
  MakeGitDir(gitDir);
  std::vector<TEventRecord> expected = {
      {evtDirectoryVisited, Dir("w")}, {evtGitDirectoryStart, Dir(gitDir)}, {evtPackFileTimeChanged, u"pack-0.pack"}};
  AddPack(gitDir, "0", true);
  for (int level = 1; level <= 10; ++level) {
    gitDir /= fs::path("modules") / ("m" + std::to_string(level));
    MakeGitDir(gitDir);
    AddPack(gitDir, std::to_string(level), level % 2 == 0);
    MakeDir(gitDir / "refs" / "heads");  // not a repository: descended into, nothing found
    expected.push_back({evtGitDirectoryStart, Dir(gitDir)});
    expected.push_back({level % 2 == 0 ? evtPackFileTimeChanged : evtPackFileTimeNotChanged,
                        u"pack-" + Utf8BytesToString(std::to_string(level)) + u".pack"});
    expected.push_back({evtGitDirectoryEnd, Dir(gitDir)});
  }
  expected.push_back({evtGitDirectoryEnd, Dir("w/.git")});
  EXPECT_TRUE(Run("w", false));
  EXPECT_EQ(fEvents, expected);
}
