#include "rtl/Path.h"

#include <gtest/gtest.h>

#include "support/TestPlatform.h"

TEST(Path, TrailingDelimiterIsAddedOnce) {
  EXPECT_EQ(IncludeTrailingPathDelimiter(NativePath(u"a/b")), NativePath(u"a/b/"));
  EXPECT_EQ(IncludeTrailingPathDelimiter(NativePath(u"a/b/")), NativePath(u"a/b/"));
  EXPECT_EQ(IncludeTrailingPathDelimiter(u""), NativePath(u"/"));
}

TEST(Path, ChangeFileExtReplacesOnlyTheLastExtensionOfTheName) {
  EXPECT_EQ(ChangeFileExt(u"pack-a.b.pack", u".idx"), u"pack-a.b.idx");
  EXPECT_EQ(ChangeFileExt(u"pack", u".idx"), u"pack.idx");
  EXPECT_EQ(ChangeFileExt(NativePath(u"dir.d/pack"), u".idx"), NativePath(u"dir.d/pack.idx"));
  EXPECT_EQ(ChangeFileExt(u"name.", u".idx"), u"name.idx");
}

TEST(Path, ExtractFileNameTakesThePartAfterTheLastDelimiter) {
  EXPECT_EQ(ExtractFileName(NativePath(u"/usr/bin/tidemark")), u"tidemark");
  EXPECT_EQ(ExtractFileName(u"tidemark"), u"tidemark");
  EXPECT_EQ(ExtractFileName(NativePath(u"dir/")), u"");
}
