#include "rtl/FileSystem.h"

#include <fstream>
#include <iterator>
#include <map>

#include "rtl/Path.h"
#include "rtl/Utf8.h"
#include "support/FileTools.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

// Name -> kind, for every entry the search yields.
std::map<String, std::string> Search(const String& pattern) {
  std::map<String, std::string> found;
  for (TFileSearch search(pattern); search.Found(); search.Next()) {
    const TSearchEntry& entry = search.Entry();
    found[entry.Name] = std::string(entry.IsDirectory() ? "dir" : "file") + (entry.IsLink ? " link" : "");
  }
  return found;
}

}  // namespace

using FileSystem = TempDirTest;

TEST_F(FileSystem, ExistenceAndIdentityTellEntriesApartAndFollowLinksWhereTargetsOpen) {
  WriteFile("dir/file");
  MakeDir("dir/sub");
  const String file = PathOf("dir") + NativePath(u"/file");
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(PathOf("dir")));
  EXPECT_FALSE(FileExists(PathOf("dir")));
  EXPECT_FALSE(FileExists(PathOf("missing")));
  EXPECT_FALSE(DirectoryExists(PathOf("missing")));
  EXPECT_FALSE(IsLink(PathOf("dir")));

  if (!MakeLink(Root() / "to-dir", Root() / "dir", TLinkTarget::Directory)) GTEST_SKIP() << "this platform cannot make links";
  ASSERT_TRUE(MakeLink(Root() / "to-file", Root() / "dir" / "file", TLinkTarget::File));
  ASSERT_TRUE(MakeLink(Root() / "dangling", Root() / "missing", TLinkTarget::Directory));
  EXPECT_TRUE(DirectoryExists(PathOf("to-dir")));
  EXPECT_TRUE(FileExists(PathOf("to-file")));
  EXPECT_FALSE(DirectoryExists(PathOf("dangling")));
  EXPECT_FALSE(FileExists(PathOf("dangling")));
  EXPECT_TRUE(IsLink(PathOf("to-dir")) && IsLink(PathOf("dangling")));

  // Reached through a link, a directory keeps the link's name but is the same directory.
  EXPECT_EQ(ExpandFileName(PathOf("to-dir") + NativePath(u"/./sub/..")), PathOf("to-dir"));

  EXPECT_EQ(Search(PathOf("to-") + u"*"), (std::map<String, std::string>{{u"to-dir", "dir link"}, {u"to-file", "file link"}}));

  ASSERT_TRUE(RemoveLink(PathOf("to-dir")));
  ASSERT_TRUE(RemoveLink(PathOf("to-file")));
  EXPECT_FALSE(fs::exists(fs::symlink_status(Root() / "to-dir")));
  EXPECT_TRUE(fs::exists(Root() / "dir" / "file"));
}

TEST_F(FileSystem, ExpandFileNameResolvesAgainstTheCurrentDirectory) {
  MakeDir("cwd");
  const TCurrentDirectory current(Root() / "cwd");
  const String here = ToString(fs::current_path());
  const struct { std::u16string_view Name; String Expected; } cases[] = {
      {u"a", here + NativePath(u"/a")},
      {u"a/", here + NativePath(u"/a/")},
      {u"./a/./b", here + NativePath(u"/a/b")},
      {u"a/../../b", PathOf("b")},
      {u"a//b", here + NativePath(u"/a/b")},
      {u"..", PathOf()},
      {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.Name));
    EXPECT_EQ(ExpandFileName(NativePath(c.Name)), c.Expected);
  }
  EXPECT_EQ(ExpandFileName(PathOf("x") + NativePath(u"/../y")), PathOf("y"));
}

TEST_F(FileSystem, SearchYieldsEveryMatchingEntryHiddenOnesIncluded) {
  WriteFile("d/pack-1.pack");
  WriteFile("d/pack-2.idx");
  WriteFile("d/.hidden");
  MakeDir("d/pack-dir.pack");
  MakeReadOnlyHidden(Root() / "d" / ".hidden");

  EXPECT_EQ(Search(PathOf("d") + NativePath(u"/pack-*.pack")),
            (std::map<String, std::string>{{u"pack-1.pack", "file"}, {u"pack-dir.pack", "dir"}}));
  std::map<String, std::string> all = Search(PathOf("d") + PathDelim + String(AllFilesMask));
  all.erase(u".");
  all.erase(u"..");
  EXPECT_EQ(all.size(), 4u);
  EXPECT_TRUE(all.contains(u".hidden"));

  EXPECT_TRUE(Search(PathOf("missing") + NativePath(u"/*")).empty());
  EXPECT_TRUE(Search(PathOf("d") + NativePath(u"/nothing-*")).empty());
}

TEST_F(FileSystem, SetFileLastWriteTimeChangesThatTimeAloneExactly) {
  WriteFile("f", "content");
  const auto before = StoredTimes(Root() / "f");
  ASSERT_TRUE(before);

  // One unit of the finest step the platform stores, then an earlier time.
  for (const TFileTime wanted : {TFileTime{before->LastWrite.High, before->LastWrite.Low ^ 1u},
                                 TFileTime{before->LastWrite.High - 200, before->LastWrite.Low}}) {
    ASSERT_TRUE(SetFileLastWriteTime(PathOf("f"), wanted));
    const auto after = StoredTimes(Root() / "f");
    EXPECT_EQ(after->LastWrite, wanted);
    EXPECT_EQ(after->LastAccess, before->LastAccess);
  }
  MakeReadOnlyHidden(Root() / "f");
  EXPECT_TRUE(SetFileLastWriteTime(PathOf("f"), before->LastWrite));
  EXPECT_EQ(StoredTimes(Root() / "f")->LastWrite, before->LastWrite);
  std::ifstream file(Root() / "f");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "content");
  EXPECT_FALSE(SetFileLastWriteTime(PathOf("missing"), before->LastWrite));
}
