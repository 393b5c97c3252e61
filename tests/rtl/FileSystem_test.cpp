#include "rtl/FileSystem.h"

#include "rtl/Utf8.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

using FileSystem = TempDirTest;

TEST_F(FileSystem, ExpandFileNameResolvesAgainstTheCurrentDirectory) {
  MakeDir("cwd");
  const TCurrentDirectory current(Root() / "cwd");
  const String here = ToString(fs::current_path());
  const std::pair<String, String> cases[] = {
      {u"a", here + NativePath(u"/a")}, {u"a/", here + NativePath(u"/a/")}, {u"./a/./b", here + NativePath(u"/a/b")}, {u"a/../../b", PathOf("b")},
      {u"a//b", here + NativePath(u"/a/b")}, {u"..", PathOf()}, {u"", u""}, {PathOf("x") + NativePath(u"/../y"), PathOf("y")}};
  for (const auto& [name, expected] : cases) EXPECT_EQ(ExpandFileName(NativePath(name)), expected) << StringToUtf8Bytes(name);
}

// That time alone, to the tick, also of a read-only file; of a link its own, never its target's.
TEST_F(FileSystem, SetFileLastWriteTimeChangesThatTimeAloneExactly) {
  WriteFile("f", "content");
  const TStoredTimes before = *StoredTimes(Root() / "f");
  const TFileTime wanted{before.LastWrite.High - 200, before.LastWrite.Low ^ 1u};
  MakeReadOnly(Root() / "f");
  ASSERT_TRUE(SetFileLastWriteTime(PathOf("f"), wanted));
  EXPECT_TRUE(StoredTimes(Root() / "f")->LastWrite == wanted && StoredTimes(Root() / "f")->LastAccess == before.LastAccess);
  const bool link = MakeLink(Root() / "link", Root() / "f", false);  // Wine shows no links to files
  EXPECT_TRUE(!link || (SetFileLastWriteTime(PathOf("link"), before.LastWrite) && StoredTimes(Root() / "link")->LastWrite == before.LastWrite));
  EXPECT_EQ(StoredTimes(Root() / "f")->LastWrite, wanted);
  EXPECT_FALSE(SetFileLastWriteTime(PathOf("missing"), before.LastWrite));
}
