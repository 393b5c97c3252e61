#include "compat/uCompatibility.h"

#include "support/TempDir.h"

namespace fs = std::filesystem;

using Compatibility = TempDirTest;

// Exactly as stored (fresh times have sub-second parts), or all zero; a name with wildcards
// gives the times of the first entry that matches.
TEST_F(Compatibility, GetFileTimesReadsExactlyOrZeroesEveryOutput) {
  WriteFile("file");
  MakeDir("dir");
  TFileTime creation, lastWrite, lastAccess;
  for (const auto& [name, path] : {std::pair{"file", "file"}, {"d?r", "dir"}}) {
    EXPECT_TRUE(GetFileTimes(PathOf(name), creation, lastWrite, lastAccess) && creation != TFileTime{});
    EXPECT_TRUE(lastWrite == StoredTimes(Root() / path)->LastWrite && lastAccess == StoredTimes(Root() / path)->LastAccess) << name;
  }
  // A link that leads nowhere has times of its own (Wine shows none of its host's links to files).
  EXPECT_TRUE(RunningUnderWine() || (MakeLink(Root() / "dangling", Root() / "none", false) && GetFileTimes(PathOf("dangling"), creation, lastWrite, lastAccess)));
  EXPECT_FALSE(GetFileTimes(PathOf("missing*"), creation, lastWrite, lastAccess) || TFileSearch(PathOf("missing") + NativePath(u"/*")).Found());
  const TFileTime zero{0, 0};
  EXPECT_TRUE(creation == zero && lastWrite == zero && lastAccess == zero);
}

// At shutdown the listed paths go, links as links; a read-only file listed itself is kept,
// one inside a listed directory is not.
TEST_F(Compatibility, ShutdownDeletesTheListedPaths) {
  for (const char* file : {"file", "read-only", "dir/sub/read-only", "target/kept"}) WriteFile(file);
  MakeReadOnly(Root() / "read-only");
  MakeReadOnly(Root() / "dir/sub/read-only");
  if (!RunningUnderWine()) MakeLink(Root() / "link", Root() / "target", true);  // Wine cannot remove the links its host makes
  EXPECT_FALSE(RemoveFile(PathOf("read-only")));  // and says so
  InitializeCompatibility();
  ASSERT_TRUE(FilesToDeleteOnExit() != nullptr && FilesToDeleteOnExit()->empty());
  *FilesToDeleteOnExit() = {PathOf("file"), PathOf("read-only"), PathOf("dir"), PathOf("link"), PathOf("missing")};
  FinalizeCompatibility();
  EXPECT_EQ(FilesToDeleteOnExit(), nullptr);
  EXPECT_FALSE(fs::exists(Root() / "file") || fs::exists(Root() / "dir") || fs::exists(fs::symlink_status(Root() / "link")));
  EXPECT_TRUE(fs::exists(Root() / "read-only") && fs::exists(Root() / "target/kept"));
}
