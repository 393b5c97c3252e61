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
