// The engine against trees made to trip it up: loops of links, entries that are not what their
// names say, entries that change while the walk runs, directories it may not read, odd names,
// paths beyond the platform's limit, great depth and great numbers.

#include "engine/uTidemark.h"

#include <map>
#include <memory>
#include <optional>

#include "engine/EngineTestTree.h"
#include "framework/uConsoleApp.h"
#include "framework/uStrings.h"
#include "support/DeepTree.h"
#include "support/LockedOut.h"
#include "support/RunProgram.h"

using enum TLogEvent;

namespace {

const bool OnWindows = PathDelim == u'\\';

using HostileTree = EngineTreeTest;

}  // namespace

TEST_F(HostileTree, LinkLoopsEndWithEveryDirectoryVisitedAtMostTwice) {
  if (!LinksPossible()) GTEST_SKIP() << "Wine makes no links: CreateSymbolicLinkW reports success and makes none";
  struct TCase {
    std::string Name;
    std::vector<std::string> GitDirs;
    std::vector<std::pair<std::string, std::string>> Links;  // where, to what; targets no link names are directories
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
      // The number of paths through these grows beyond any patience.
      {"a ladder whose every rung is linked twice to the next", {"l14/w/.git"}, {}},
      {"directories each linked from every other", {"c0/w/.git", "c5/w/.git"}, {}},
  };
  for (int i = 0; i < 49; ++i) {
    const std::string rung = "l" + std::to_string(i), next = "l" + std::to_string(i + 1), to = std::to_string(i % 7);
    if (i < 14) cases[9].Links.insert(cases[9].Links.end(), {{rung + "/x", next}, {rung + "/y", next}});
    cases[10].Links.push_back({"c" + std::to_string(i / 7) + "/to-" + to, "c" + to});
  }

  for (std::size_t i = 0; i < cases.size(); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    const fs::path base = "case" + std::to_string(i);
    std::set<String> repositories;
    for (const std::string& gitDir : c.GitDirs) {
      MakeGitDir(base / gitDir);
      AddPack(base / gitDir, "p", OneTick);
      repositories.insert(PathOf(base / gitDir));
    }
    for (const auto& [at, target] : c.Links) {
      const bool targetIsLink = std::ranges::find(c.Links, target, &std::pair<std::string, std::string>::first) !=
                                c.Links.end();
      if (!targetIsLink) MakeDir(base / target);
      MakeDir((base / at).parent_path());
      ASSERT_TRUE(Link(base / at, base / target)) << at;
    }

    EXPECT_TRUE(Run(base));
    // Pairs nest, at once for the repositories under "modules", around them for the one that holds them.
    ExpectNestedPairs();
    std::map<String, int> visits, starts;
    for (const TEventRecord& e : fEvents) {
      if (e.Event == evtDirectoryVisited) ++visits[e.Value];
      if (e.Event == evtGitDirectoryStart) ++starts[e.Value];
    }
    for (const auto& [directory, count] : visits) EXPECT_LE(count, 2);
    for (const auto& repository : repositories) {
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
  const auto linkTo = [&](const fs::path& at, const char* target, TLinkTarget kind = TLinkTarget::File) {
    ASSERT_TRUE(Link(at, fs::path("elsewhere") / target, kind)) << at;
  };
  // Gives File (followed where it is a link) a time one tick off Time.
  const auto offTime = [&](const fs::path& file, TFileTime time) {
    time.Low ^= 1u;
    ASSERT_TRUE(SetFileLastWriteTime(PathOf(file), time));
  };
  fs::path g;  // the repository of the case at hand
  struct TCase {
    const char* Name;
    bool NeedsLinks;
    std::function<void(const fs::path& pack, const fs::path& idx)> Make;
    std::optional<TLogEvent> Event;  // none: the pack is skipped
  };
  const TCase cases[] = {
      {"equal times", false, [&](auto&, auto&) { AddPack(g, "x"); }, evtPackFileTimeNotChanged},
      {"one tick apart", false, [&](auto&, auto&) { AddPack(g, "x", OneTick); }, evtPackFileTimeChanged},
      {"a pack newer than its index", false, [&](auto&, auto&) { AddPack(g, "x", Newer); }, evtPackFileTimeChanged},
      {"a pack older than its index", false, [&](auto&, auto&) { AddPack(g, "x", Older); }, evtPackFileTimeChanged},
      {"a read-only pack", false,
       [&](auto& pack, auto&) { AddPack(g, "x", OneTick); MakeReadOnlyHidden(Root() / pack); }, evtPackFileTimeChanged},
      {"a pack without index", false, [&](auto& pack, auto&) { WriteFile(pack); }, {}},
      {"a directory named like a pack", false, [&](auto& pack, auto& idx) { MakeDir(pack); WriteFile(idx); }, {}},
      {"an index that is a directory", false, [&](auto& pack, auto& idx) { WriteFile(pack); MakeDir(idx); }, {}},
      {"a pack that is a link to a directory", true,
       [&](auto& pack, auto& idx) { linkTo(pack, "dir", TLinkTarget::Directory); WriteFile(idx); }, {}},
      {"an index that is a link to a directory", true,
       [&](auto& pack, auto& idx) { WriteFile(pack); linkTo(idx, "dir", TLinkTarget::Directory); }, {}},
      {"an index that is a dangling link", true,
       [&](auto& pack, auto& idx) { WriteFile(pack); linkTo(idx, "missing"); }, {}},
      // Its own time, which is all a dangling link has, differs from the index's.
      {"a pack that is a dangling link", true,
       [&](auto& pack, auto& idx) { linkTo(pack, "missing"); WriteFile(idx); offTime(idx, Time(pack)); },
       evtPackFileTimeChangeFailed},
      {"an index that is a link to an index", true,
       [&](auto& pack, auto& idx) { WriteFile(pack); linkTo(idx, "index"); offTime(pack, Time("elsewhere/index")); },
       evtPackFileTimeChanged},
      {"a pack that is a link to a file", true,
       [&](auto& pack, auto& idx) { WriteFile(idx); linkTo(pack, "target"); offTime(pack, Time(idx)); },
       evtPackFileTimeChanged},
  };
  // Every entry's own time (a link's is not followed) and what a file holds.
  const auto snapshot = [&] {
    std::map<fs::path, std::pair<TFileTime, std::string>> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(Root())) {
      entries[entry.path().lexically_relative(Root())] = {StoredTimes(entry.path())->LastWrite,
                                                           entry.is_regular_file() ? Contents(entry.path()) : ""};
    }
    return entries;
  };
  // The file that Relative leads to, relative to the root.
  const auto real = [&](const fs::path& relative) {
    return fs::canonical(Root() / relative).lexically_relative(fs::canonical(Root()));
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const TCase& c = cases[i];
    SCOPED_TRACE(c.Name);
    if (c.NeedsLinks && !links) continue;
    g = "g" + std::to_string(i);
    MakeGitDir(g);
    const fs::path pack = Pack(g, "x"), idx = Pack(g, "x", ".idx");
    c.Make(pack, idx);
    const auto before = snapshot();

    EXPECT_EQ(Run(g), c.Event != evtPackFileTimeChangeFailed);
    std::vector<TEventRecord> expected = {{evtDirectoryVisited, Dir(g)}, {evtGitDirectoryStart, Dir(g)}};
    if (c.Event) expected.push_back({*c.Event, u"pack-x.pack"});
    expected.push_back({evtGitDirectoryEnd, Dir(g)});
    EXPECT_EQ(fEvents, expected);

    // Nothing changes but the time of the pack, or of the file it leads to, which takes the
    // time of the index, or of the file that leads to; a link keeps its own.
    auto after = snapshot();
    if (c.Event == evtPackFileTimeChanged) {
      const fs::path changed = real(pack);
      EXPECT_EQ(after[changed].first, after[real(idx)].first);
      EXPECT_NE(after[changed].first, before.at(changed).first);
      after[changed].first = before.at(changed).first;
    }
    EXPECT_EQ(after, before);
  }
}

TEST_F(HostileTree, DirectoriesThatGoOrChangeWhileTheWalkRunsYieldNothing) {
  // Windows goes by path and follows a link that took a listed directory's place.
  const bool links = !OnWindows && LinksPossible();
  MakeGitDir("outside/w/.git");
  AddPack("outside/w/.git", "p", OneTick);
  std::set<String> children;
  for (int i = 0; i < 6; ++i) {
    const fs::path child = "t/t" + std::to_string(i);
    MakeGitDir(child / "w" / ".git");
    AddPack(child / "w" / ".git", "p", OneTick);
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
      const fs::path path = ToPath(child.substr(0, child.size() - 1)).lexically_relative(Root());
      fs::remove_all(Root() / path);
      if (change % 3 == 1) WriteFile(path, "now a file");
      if (change % 3 == 2 && links) {
        ASSERT_TRUE(Link(path, "outside"));
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
  for (int i = 0; i < 8; ++i) AddPack("g", std::to_string(i), OneTick);
  // After the first pack, the packs of even number lose their pack file, the others their index.
  String first;
  fOnEvent = [&](const TEventRecord& e) {
    if (e.Event < evtPackFileTimeNotChanged || !first.empty()) return;
    first = e.Value;
    for (int i = 0; i < 8; ++i) {
      if (u"pack-" + String(1, Char(u'0' + i)) + u".pack" != first) {
        fs::remove(Root() / Pack("g", std::to_string(i), i % 2 == 0 ? ".pack" : ".idx"));
      }
    }
  };
  EXPECT_FALSE(Run("g"));
  std::multiset<TEventRecord> expected = {{evtPackFileTimeChanged, first}};
  for (const char16_t* name : {u"pack-0.pack", u"pack-2.pack", u"pack-4.pack", u"pack-6.pack"}) {
    if (name != first) expected.insert({evtPackFileTimeChangeFailed, name});
  }
  EXPECT_EQ(PackEvents(), expected);

  // A repository that vanishes as a whole once it has started ends without a word more.
  MakeGitDir("w/.git");
  AddPack("w/.git", "p", OneTick);
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
  AddPack("open/w/.git", "p");
  MakeGitDir("locked/w/.git");
  // One that may be entered but not listed: a repository in it is reached by name, a working
  // tree below it is not found.
  MakeGitDir("unlisted/.git");
  AddPack("unlisted/.git", "p");
  MakeGitDir("unlisted-above/sub/w/.git");
  const TLockedDirectory locked(Root() / "locked", TLock::Everything);
  const TLockedDirectory unlisted(Root() / "unlisted", TLock::Listing);
  const TLockedDirectory unlistedAbove(Root() / "unlisted-above", TLock::Listing);
  if (!locked.Holds() || !unlisted.Holds() || !unlistedAbove.Holds()) GTEST_SKIP() << "the platform refused the locks";

  // The events in an order of their own, as a listing's order is the file system's.
  const auto lines = [](const std::multiset<TEventRecord>& events) {
    std::string text;
    for (const TEventRecord& e : events) text += ::testing::PrintToString(e) + "\n";
    return text;
  };
  const std::optional<std::string> trace = RunLockedOut([&] {
    if (TFileSearch(PathOf("locked") + PathDelim + String(AllFilesMask)).Found()) return std::string("not locked");
    std::multiset<TEventRecord> events;
    TTidemark engine;
    engine.SetOnLogEvent([&](TTidemark&, TLogEvent event, const String& value) { events.insert({event, value}); });
    const bool result = engine.Process(PathOf(), true);
    return std::to_string(result) + "\n" + lines(events);
  });
  ASSERT_TRUE(trace) << "the locked-out run failed";
  if (*trace == "not locked") GTEST_SKIP() << "the locks do not bind here (Wine does not enforce access control)";
  EXPECT_EQ(*trace, "1\n" + lines({
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
  ASSERT_TRUE(workTree.Made() && workTree.WriteFile(".git/index") && workTree.WriteFile(".git/HEAD", "ref: main\n") &&
              workTree.WriteFile(PackFile(pack, ".idx"), "idx") && workTree.WriteFile(PackFile(pack), "pack"));
  Misalign(workTree, pack);
}

bool PackAligned(const TDeepDirectory& workTree, const std::string& pack) {
  return workTree.LastWriteTime(PackFile(pack)) == workTree.LastWriteTime(PackFile(pack, ".idx"));
}

String GitDirOf(const TDeepDirectory& workTree) { return workTree.Path() + PathDelim + u".git" + PathDelim; }

}  // namespace

TEST_F(HostileTree, RepositoriesWithOddNamesOrPastThePathLimitAreFoundAndPrintedOnTheirLines) {
  std::vector<std::string> names = {
      // Blanks, option and format signs.
      "a b", " leading blank", "-r", "--", "100% %s %d",
      // Beyond ASCII, and beyond the Basic Multilingual Plane.
      "na\xC3\xAFve", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9D\x84\x9E clef",
  };
  if (OnWindows) {
    // Names that Windows paths hold only in the \\?\ form: the others drop a trailing dot or blank.
    names.insert(names.end(), {"dot.", "blank "});
  } else {
    // Bytes that are no UTF-8: a lone continuation byte, a lone lead byte, an encoded surrogate.
    // Control characters, C0 and C1, which Windows names cannot hold.
    names.insert(names.end(), {"\x80", "lead \xC3", "\xED\xA0\x80", "line\nfeed", "return\r", "tab\t",
                               "\x1B[7mreverse", "del\x7F", "csi\xC2\x9B" "2J"});
  }
  // And one past MAX_PATH on Windows (within the 4096 bytes of Wine's host), past PATH_MAX on POSIX.
  names.push_back("deep");
  MakeDir("-r/deep");
  std::vector<std::unique_ptr<TDeepDirectory>> workTrees;
  std::multiset<TEventRecord> expected;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    const bool deep = name == "deep";
    const fs::path parent = deep ? Root() / "-r" / "deep" : Root() / "-r";
    const fs::path level = deep ? fs::path(std::string(50, 'n')) : ToPath(Utf8BytesToString(name));
    workTrees.push_back(std::make_unique<TDeepDirectory>(parent, level, deep ? (OnWindows ? 20 : 100) : 1));
    MakeRepository(*workTrees.back(), name);
    expected.insert({evtGitDirectoryStart, GitDirOf(*workTrees.back())});
    expected.insert({evtPackFileTimeChanged, u"pack-" + Utf8BytesToString(name) + u".pack"});
  }
  if (HasFatalFailure()) return;

  EXPECT_TRUE(Run("-r"));
  std::multiset<TEventRecord> found = PackEvents();
  for (const TEventRecord& e : Only(evtGitDirectoryStart)) found.insert(e);
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
    std::ranges::replace_if(
        text, [](Char c) { return c < u' ' || (c >= u'\x7F' && c <= u'\x9F') || (c >= 0xDC80 && c <= 0xDC9F); }, u'?');
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
  const TFileTime indexTime = Time("g/index");
  TFileTime offTime = indexTime;
  offTime.Low ^= 1u;
  std::size_t outOfLine = 0, withIndex = 0;
  for (int i = 0; i < count; ++i) {
    const std::string pack = "pack-" + std::to_string(i) + ".pack", idx = "pack-" + std::to_string(i) + ".idx";
    ASSERT_TRUE(packs.WriteFile(pack));
    if (i % 100 == 7) continue;  // without index
    ASSERT_TRUE(packs.WriteFile(idx) && packs.SetLastWriteTime(idx, indexTime) &&
                packs.SetLastWriteTime(pack, i % 3 == 0 ? offTime : indexTime));
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
