#include "compat/uCompatibility.h"

#include "rtl/Path.h"
#include "support/FileTools.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

// Runs the unit's start-up now and its shutdown when the object goes.
struct TCompatibilityRun {
  TCompatibilityRun() { InitializeCompatibility(); }
  ~TCompatibilityRun() { FinalizeCompatibility(); }
};

}  // namespace

using Compatibility = TempDirTest;

TEST_F(Compatibility, GetFileTimesReadsExactlyOrZeroesEveryOutput) {
  WriteFile("file");
  MakeDir("dir");
  TFileTime creation, lastWrite, lastAccess;
  for (const fs::path& path : {Root() / "file", Root() / "dir"}) {
    SCOPED_TRACE(path.string());
    ASSERT_TRUE(GetFileTimes(ToString(path), creation, lastWrite, lastAccess));
    // Fresh times carry sub-second parts, so any rounding would show.
    EXPECT_EQ(lastWrite, StoredTimes(path)->LastWrite);
    EXPECT_EQ(lastAccess, StoredTimes(path)->LastAccess);
    EXPECT_NE(creation, TFileTime{});
  }
  EXPECT_FALSE(GetFileTimes(PathOf("missing"), creation, lastWrite, lastAccess));
  EXPECT_EQ(creation, TFileTime{});
  EXPECT_EQ(lastWrite, TFileTime{});
  EXPECT_EQ(lastAccess, TFileTime{});
}

// Read-only and hidden entries go; links, in the tree or the tree itself, go as links, and
// nothing behind them changes.
TEST_F(Compatibility, DeleteDirectoryTreeTakesEverythingButWhatLinksLeadTo) {
  WriteFile("tree/.hidden");
  WriteFile("tree/sub/.deeper/read-only");
  MakeReadOnlyHidden(Root() / "tree" / ".hidden");
  MakeReadOnlyHidden(Root() / "tree" / "sub" / ".deeper" / "read-only");
  MakeDir("tree/empty");
  const fs::path kept = Root() / "outside" / "kept";
  WriteFile("outside/kept");
  MakeReadOnlyHidden(kept);
  const std::uint32_t attributes = StoredAttributes(kept);
  const bool links = MakeLink(Root() / "tree" / "link", Root() / "outside", TLinkTarget::Directory);
  if (links) {
    ASSERT_TRUE(MakeLink(Root() / "tree-link", Root() / "outside", TLinkTarget::Directory));
  }

  EXPECT_TRUE(DeleteDirectoryTree(PathOf("tree") + PathDelim));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Root() / "tree")));
  EXPECT_TRUE(DeleteDirectoryTree(u""));
  EXPECT_FALSE(DeleteDirectoryTree(PathOf("tree")));
  EXPECT_TRUE(fs::exists(Root()));
  if (links) {  // also with a trailing delimiter
    EXPECT_TRUE(DeleteDirectoryTree(PathOf("tree-link") + PathDelim));
    EXPECT_FALSE(fs::exists(fs::symlink_status(Root() / "tree-link")));
  }
  EXPECT_EQ(StoredAttributes(kept), attributes);
  if (!links) GTEST_SKIP() << "this platform cannot make links";
}

TEST_F(Compatibility, DeleteDirectoryTreeGoesOnPastAnUndeletableEntry) {
  WriteFile("tree/a/file");
  WriteFile("tree/b/held/stuck");
  WriteFile("tree/c");
  const TUndeletableFile held(Root() / "tree" / "b" / "held" / "stuck");
  if (!held.Holds()) GTEST_SKIP() << "this platform refused to make a file undeletable";

  EXPECT_FALSE(DeleteDirectoryTree(PathOf("tree")));
  EXPECT_TRUE(fs::exists(Root() / "tree" / "b" / "held" / "stuck"));
  EXPECT_FALSE(fs::exists(Root() / "tree" / "a"));
  EXPECT_FALSE(fs::exists(Root() / "tree" / "c"));
}

TEST_F(Compatibility, ShutdownDeletesTheListedPathsAndNothingBehindLinks) {
  WriteFile("listed-file");
  WriteFile("listed-dir/sub/file");
  WriteFile("target/kept");
  const bool links = MakeLink(Root() / "listed-link", Root() / "target", TLinkTarget::Directory);
  {
    const TCompatibilityRun run;
    ASSERT_NE(FilesToDeleteOnExit(), nullptr);
    EXPECT_TRUE(FilesToDeleteOnExit()->empty());
    *FilesToDeleteOnExit() = {PathOf("listed-file"), PathOf("listed-dir"), PathOf("listed-link"), PathOf("missing")};
  }
  EXPECT_EQ(FilesToDeleteOnExit(), nullptr);
  EXPECT_FALSE(fs::exists(Root() / "listed-file"));
  EXPECT_FALSE(fs::exists(Root() / "listed-dir"));
  EXPECT_TRUE(fs::exists(Root() / "target" / "kept"));
  if (links) {
    EXPECT_FALSE(fs::exists(fs::symlink_status(Root() / "listed-link")));
  }
}

TEST(CompatibilityEntryPoints, ResolvedAtStartUpAndClearedAtShutdown) {
  bool resolved;
  {
    const TCompatibilityRun run;
    const TOptionalEntryPoints& entryPoints = OptionalEntryPoints();
    EXPECT_EQ(entryPoints.GetVolumePathName, entryPoints.GetVolumePathNameW);
    resolved = entryPoints.GetVolumePathNameW != nullptr;
    if (resolved) {
      // Called through, the entry point must behave as the platform's own function.
      String volume(1024, u'\0');
      EXPECT_TRUE(entryPoints.GetVolumePathNameW(L"C:\\Windows", reinterpret_cast<wchar_t*>(volume.data()), 1024));
      EXPECT_EQ(String(volume.c_str()), u"C:\\");
      EXPECT_NE(entryPoints.GetFileInformationByHandleEx, nullptr);
      EXPECT_NE(entryPoints.IsWow64Process, nullptr);
    }
  }
  const TOptionalEntryPoints& cleared = OptionalEntryPoints();
  EXPECT_TRUE(cleared.GetFileInformationByHandleEx == nullptr && cleared.GetVolumePathNameA == nullptr &&
              cleared.GetVolumePathNameW == nullptr && cleared.GetVolumePathName == nullptr &&
              cleared.IsWow64Process == nullptr && cleared.Wow64DisableWow64FsRedirection == nullptr &&
              cleared.Wow64RevertWow64FsRedirection == nullptr);
  if (!resolved) GTEST_SKIP() << "no kernel32 on this platform: nothing to resolve";
}
