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

String P(std::u16string_view portable) {
  String result(portable);
  for (Char& c : result)
    if (c == u'/') c = PathDelim;
  return result;
}

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

TEST_F(FileSystem, ExistenceTestsTellFilesFromDirectories) {
  WriteFile("file");
  MakeDir("dir");
  EXPECT_TRUE(FileExists(PathOf("file")));
  EXPECT_FALSE(DirectoryExists(PathOf("file")));
  EXPECT_TRUE(DirectoryExists(PathOf("dir")));
  EXPECT_FALSE(FileExists(PathOf("dir")));
  EXPECT_FALSE(FileExists(PathOf("missing")));
  EXPECT_FALSE(DirectoryExists(PathOf("missing")));
  EXPECT_FALSE(IsLink(PathOf("dir")));
}

TEST_F(FileSystem, LinksAreFollowedWhereTheirTargetsCanBeOpened) {
  WriteFile("dir/file");
  if (!MakeLink(Root() / "to-dir", Root() / "dir", TLinkTarget::Directory)) GTEST_SKIP() << "this platform cannot make links";
  ASSERT_TRUE(MakeLink(Root() / "to-file", Root() / "dir" / "file", TLinkTarget::File));
  ASSERT_TRUE(MakeLink(Root() / "dangling", Root() / "missing", TLinkTarget::Directory));

  EXPECT_TRUE(DirectoryExists(PathOf("to-dir")));
  EXPECT_TRUE(FileExists(PathOf("to-file")));
  EXPECT_FALSE(DirectoryExists(PathOf("dangling")));
  EXPECT_FALSE(FileExists(PathOf("dangling")));
  EXPECT_TRUE(IsLink(PathOf("to-dir")) && IsLink(PathOf("dangling")));

  // Reached through a link, a directory keeps the link's name but is the same directory.
  EXPECT_EQ(ExpandFileName(PathOf("to-dir") + P(u"/./sub/..")), PathOf("to-dir"));
  ASSERT_TRUE(GetFileIdentity(PathOf("to-dir")));
  EXPECT_EQ(GetFileIdentity(PathOf("to-dir")), GetFileIdentity(PathOf("dir")));

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
  const struct {
    std::u16string_view Name;
    String Expected;
  } cases[] = {
      {u"a", here + P(u"/a")},
      {u"a/", here + P(u"/a/")},
      {u"./a/./b", here + P(u"/a/b")},
      {u"a/../../b", PathOf("b")},
      {u"a//b", here + P(u"/a/b")},
      {u"..", PathOf()},
      {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.Name));
    EXPECT_EQ(ExpandFileName(P(c.Name)), c.Expected);
  }
  EXPECT_EQ(ExpandFileName(PathOf("x") + P(u"/../y")), PathOf("y"));
}

TEST_F(FileSystem, SearchYieldsEveryMatchingEntryHiddenOnesIncluded) {
  WriteFile("d/pack-1.pack");
  WriteFile("d/pack-2.idx");
  WriteFile("d/.hidden");
  MakeDir("d/pack-dir.pack");
  MakeReadOnlyHidden(Root() / "d" / ".hidden");

  EXPECT_EQ(Search(PathOf("d") + P(u"/pack-*.pack")),
            (std::map<String, std::string>{{u"pack-1.pack", "file"}, {u"pack-dir.pack", "dir"}}));
  std::map<String, std::string> all = Search(PathOf("d") + PathDelim + String(AllFilesMask));
  all.erase(u".");
  all.erase(u"..");
  EXPECT_EQ(all.size(), 4u);
  EXPECT_TRUE(all.contains(u".hidden"));

  EXPECT_TRUE(Search(PathOf("missing") + P(u"/*")).empty());
  EXPECT_TRUE(Search(PathOf("d") + P(u"/nothing-*")).empty());
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
  std::ifstream file(Root() / "f");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "content");

  WriteFile("read-only");
  MakeReadOnlyHidden(Root() / "read-only");
  EXPECT_TRUE(SetFileLastWriteTime(PathOf("read-only"), before->LastWrite));
  EXPECT_EQ(StoredTimes(Root() / "read-only")->LastWrite, before->LastWrite);
  EXPECT_FALSE(SetFileLastWriteTime(PathOf("missing"), before->LastWrite));
}

TEST_F(FileSystem, IdentityTellsDirectoriesApart) {
  MakeDir("a/b");
  ASSERT_TRUE(GetFileIdentity(PathOf("a")));
  EXPECT_EQ(GetFileIdentity(PathOf("a")), GetFileIdentity(PathOf("a") + P(u"/b/..")));
  EXPECT_NE(GetFileIdentity(PathOf("a")), GetFileIdentity(PathOf("a") + P(u"/b")));
  EXPECT_FALSE(GetFileIdentity(PathOf("missing")));
}
