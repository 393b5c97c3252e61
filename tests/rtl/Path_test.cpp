#include "rtl/Path.h"

#include <gtest/gtest.h>

namespace {
String P(std::u16string_view portable) {
  String result(portable);
  for (Char& c : result)
    if (c == u'/') c = PathDelim;
  return result;
}
}  // namespace

TEST(Path, TrailingDelimiterIsAddedOnce) {
  EXPECT_EQ(IncludeTrailingPathDelimiter(P(u"a/b")), P(u"a/b/"));
  EXPECT_EQ(IncludeTrailingPathDelimiter(P(u"a/b/")), P(u"a/b/"));
  EXPECT_EQ(IncludeTrailingPathDelimiter(u""), P(u"/"));
}

TEST(Path, ChangeFileExtReplacesOnlyTheLastExtensionOfTheName) {
  EXPECT_EQ(ChangeFileExt(u"pack-1a2b.pack", u".idx"), u"pack-1a2b.idx");
  EXPECT_EQ(ChangeFileExt(u"pack-a.b.pack", u".idx"), u"pack-a.b.idx");
  EXPECT_EQ(ChangeFileExt(u"pack", u".idx"), u"pack.idx");
  EXPECT_EQ(ChangeFileExt(P(u"dir.d/pack"), u".idx"), P(u"dir.d/pack.idx"));
  EXPECT_EQ(ChangeFileExt(u"name.", u".idx"), u"name.idx");
}

TEST(Path, ExtractFileNameTakesThePartAfterTheLastDelimiter) {
  EXPECT_EQ(ExtractFileName(P(u"/usr/bin/tidemark")), u"tidemark");
  EXPECT_EQ(ExtractFileName(u"tidemark"), u"tidemark");
  EXPECT_EQ(ExtractFileName(P(u"dir/")), u"");
}
