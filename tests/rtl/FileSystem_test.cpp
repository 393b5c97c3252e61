#include "rtl/FileSystem.h"

#include <fstream>
#include <map>

#include "rtl/Utf8.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

using FileSystem = TempDirTest;

// Existence follows links where their targets are; a search finds hidden entries and tells
// links, which Wine shows only to directories.
TEST_F(FileSystem, EntriesAreToldApartAndLinksFollowedWhereTheyLead) {
  WriteFile("d/file");
  WriteFile("d/.hidden");
  MakeReadOnly(Root() / "d/.hidden");
  MakeDir("d/sub");
  const bool links = MakeLink(Root() / "d/to-dir", Root() / "d/sub", true);
  const bool fileLinks = MakeLink(Root() / "d/to-file", Root() / "d/file", false) && MakeLink(Root() / "d/dangling", Root() / "none", false);
  const struct {
    const char* Name;
    bool Made, File, Directory, Link;
  } cases[] = {{".hidden", true, true, false, false},     {"file", true, true, false, false},     {"sub", true, false, true, false},
               {"none", true, false, false, false},        {"to-dir", links, false, true, true},   {"to-file", fileLinks, true, false, true},
               {"dangling", fileLinks, false, false, true}};
  std::map<String, std::string> expected, found;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const String name = PathOf("d") + PathDelim + Utf8BytesToString(c.Name);
    EXPECT_TRUE(!c.Made || (FileExists(name) == c.File && DirectoryExists(name) == c.Directory && IsLink(name) == c.Link));
    if (c.Made && (c.File || c.Directory || c.Link)) expected[name.substr(name.rfind(PathDelim) + 1)] = std::to_string(c.Directory) + std::to_string(c.Link);
  }
  for (TFileSearch search(PathOf("d") + NativePath(u"/*")); search.Found(); search.Next())
    if (search.Entry().Name != u"." && search.Entry().Name != u"..") found[search.Entry().Name] = std::to_string(search.Entry().IsDirectory()) + std::to_string(search.Entry().IsLink);
  EXPECT_EQ(found, expected);
  EXPECT_FALSE(TFileSearch(PathOf("d") + NativePath(u"/x*")).Found() || TFileSearch(PathOf("none") + NativePath(u"/*")).Found());
  if (!links) return;
  // Reached through a link, a directory keeps the link's name.
  EXPECT_EQ(ExpandFileName(PathOf("d") + NativePath(u"/to-dir/./x/..")), PathOf("d") + NativePath(u"/to-dir"));
  ASSERT_TRUE(RemoveLink(PathOf("d") + NativePath(u"/to-dir")));
  EXPECT_TRUE(fs::exists(Root() / "d/sub") && !fs::exists(fs::symlink_status(Root() / "d/to-dir")));
}

TEST_F(FileSystem, ExpandFileNameResolvesAgainstTheCurrentDirectory) {
  MakeDir("cwd");
  const TCurrentDirectory current(Root() / "cwd");
  const String here = ToString(fs::current_path());
  const struct {
    String Name, Expected;
  } cases[] = {{u"a", here + NativePath(u"/a")},    {u"a/", here + NativePath(u"/a/")},    {u"./a/./b", here + NativePath(u"/a/b")},
               {u"a/../../b", PathOf("b")},         {u"a//b", here + NativePath(u"/a/b")}, {u"..", PathOf()},
               {u"", u""},                           {PathOf("x") + NativePath(u"/../y"), PathOf("y")}};
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.Name));
    EXPECT_EQ(ExpandFileName(NativePath(c.Name)), c.Expected);
  }
}

// That time alone, to the tick, also of a read-only file; of a link its own, never its target's.
TEST_F(FileSystem, SetFileLastWriteTimeChangesThatTimeAloneExactly) {
  WriteFile("f", "content");
  const TStoredTimes before = *StoredTimes(Root() / "f");
  const bool link = MakeLink(Root() / "link", Root() / "f", false);  // Wine shows no links to files
  for (const TFileTime wanted : {TFileTime{before.LastWrite.High, before.LastWrite.Low ^ 1u}, TFileTime{before.LastWrite.High - 200, before.LastWrite.Low}}) {
    ASSERT_TRUE(SetFileLastWriteTime(PathOf("f"), wanted));
    EXPECT_TRUE(StoredTimes(Root() / "f")->LastWrite == wanted && StoredTimes(Root() / "f")->LastAccess == before.LastAccess);
    MakeReadOnly(Root() / "f");
  }
  EXPECT_TRUE(!link || SetFileLastWriteTime(PathOf("link"), before.LastWrite));
  EXPECT_TRUE(!link || StoredTimes(Root() / "link")->LastWrite == before.LastWrite);
  EXPECT_NE(StoredTimes(Root() / "f")->LastWrite, before.LastWrite);
  std::ifstream file(Root() / "f");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "content");
  EXPECT_FALSE(SetFileLastWriteTime(PathOf("missing"), before.LastWrite));
}
