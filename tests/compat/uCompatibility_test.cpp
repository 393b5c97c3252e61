#include "compat/uCompatibility.h"

#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// The unit's start-up now, its shutdown when the object goes.
struct TCompatibilityRun {
  TCompatibilityRun() { InitializeCompatibility(); }
  ~TCompatibilityRun() { FinalizeCompatibility(); }
};

}  // namespace

using Compatibility = TempDirTest;

// Exactly as stored (fresh times have sub-second parts), or all zero; a name with wildcards
// gives the times of the first entry that matches.
TEST_F(Compatibility, GetFileTimesReadsExactlyOrZeroesEveryOutput) {
  WriteFile("file");
  MakeDir("dir");
  TFileTime creation, lastWrite, lastAccess;
  for (const auto& [name, path] : {std::pair{"file", "file"}, {"dir", "dir"}, {"fi*", "file"}, {"d?r", "dir"}}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(GetFileTimes(PathOf(name), creation, lastWrite, lastAccess) && creation != TFileTime{});
    EXPECT_TRUE(lastWrite == StoredTimes(Root() / path)->LastWrite && lastAccess == StoredTimes(Root() / path)->LastAccess);
  }
  EXPECT_FALSE(GetFileTimes(PathOf("missing*"), creation, lastWrite, lastAccess));
  EXPECT_TRUE(creation == TFileTime{} && lastWrite == TFileTime{} && lastAccess == TFileTime{});
}

// Read-only and hidden entries go; links, in the tree or the tree itself, go as links and
// nothing behind them changes; an entry that cannot go keeps its directories, not the rest.
TEST_F(Compatibility, DeleteDirectoryTreeTakesAllButWhatLinksLeadToAndWhatCannotGo) {
  for (const char* file : {"tree/.hidden", "tree/sub/.deeper/read-only", "outside/kept", "held/a/file", "held/b/stuck", "held/c"}) {
    WriteFile(file);
    MakeReadOnly(Root() / file);
  }
  MakeDir("tree/empty");
  const fs::perms kept = fs::status(Root() / "outside/kept").permissions();
  // Wine cannot remove the links its host makes.
  const bool links = !RunningUnderWine() && MakeLink(Root() / "tree/link", Root() / "outside", true);
  EXPECT_TRUE(!links || MakeLink(Root() / "tree-link", Root() / "outside", true));
  EXPECT_TRUE(DeleteDirectoryTree(PathOf("tree") + PathDelim));
  EXPECT_TRUE(DeleteDirectoryTree(u""));
  EXPECT_FALSE(DeleteDirectoryTree(PathOf("tree")));
  EXPECT_EQ(DeleteDirectoryTree(PathOf("tree-link") + PathDelim), links);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Root() / "tree")) || fs::exists(fs::symlink_status(Root() / "tree-link")));
  EXPECT_EQ(fs::status(Root() / "outside/kept").permissions(), kept);

  const THold held = OnWindows ? HoldOpen(Root() / "held/b/stuck") : MakeImmutable(Root() / "held/b/stuck");
  if (!held) GTEST_SKIP() << "no file can be kept from deletion here (POSIX: that takes root)";
  EXPECT_FALSE(DeleteDirectoryTree(PathOf("held")));
  EXPECT_TRUE(fs::exists(Root() / "held/b/stuck"));
  EXPECT_FALSE(fs::exists(Root() / "held/a") || fs::exists(Root() / "held/c"));
}

// At shutdown the listed paths go, links as links; a read-only file listed itself is kept,
// one inside a listed directory is not.
TEST_F(Compatibility, ShutdownDeletesTheListedPaths) {
  for (const char* file : {"file", "read-only", "dir/sub/read-only", "target/kept"}) WriteFile(file);
  MakeReadOnly(Root() / "read-only");
  MakeReadOnly(Root() / "dir/sub/read-only");
  if (!RunningUnderWine()) MakeLink(Root() / "link", Root() / "target", true);  // as above
  {
    const TCompatibilityRun run;
    ASSERT_TRUE(FilesToDeleteOnExit() != nullptr && FilesToDeleteOnExit()->empty());
    *FilesToDeleteOnExit() = {PathOf("file"), PathOf("read-only"), PathOf("dir"), PathOf("link"), PathOf("missing")};
  }
  EXPECT_EQ(FilesToDeleteOnExit(), nullptr);
  EXPECT_FALSE(fs::exists(Root() / "file") || fs::exists(Root() / "dir") || fs::exists(fs::symlink_status(Root() / "link")));
  EXPECT_TRUE(fs::exists(Root() / "read-only") && fs::exists(Root() / "target/kept"));
}

// Windows resolves them at start-up, as the platform's own functions; shutdown clears them.
TEST(CompatibilityEntryPoints, ResolvedAtStartUpAndClearedAtShutdown) {
  const auto all = [](const TOptionalEntryPoints& e) {
    return std::vector<bool>{e.GetFileInformationByHandleEx != nullptr, e.GetVolumePathNameA != nullptr, e.GetVolumePathNameW != nullptr,
                             e.GetVolumePathName != nullptr, e.IsWow64Process != nullptr, e.Wow64DisableWow64FsRedirection != nullptr,
                             e.Wow64RevertWow64FsRedirection != nullptr};
  };
  String volume(1024, u'\0');
  {
    const TCompatibilityRun run;
    EXPECT_EQ(all(OptionalEntryPoints()), std::vector<bool>(7, OnWindows));
    EXPECT_TRUE(!OnWindows || OptionalEntryPoints().GetVolumePathName(L"C:\\Windows", reinterpret_cast<wchar_t*>(volume.data()), 1024));
  }
  EXPECT_EQ(String(volume.c_str()), OnWindows ? u"C:\\" : u"");
  EXPECT_EQ(all(OptionalEntryPoints()), std::vector<bool>(7, false));
}
