#include "rtl/Path.h"

#include <gtest/gtest.h>

#include "rtl/Utf8.h"
#include "support/TestPlatform.h"

// Each path with a trailing delimiter, its name, and its name with the extension ".idx".
TEST(Path, NamesAndExtensionsFollowTheLastDelimiter) {
  const struct { const char16_t *path, *withDelimiter, *name, *changed; } rows[] = {
      {u"a/b", u"a/b/", u"b", u"a/b.idx"}, {u"a/b/", u"a/b/", u"", u"a/b/.idx"}, {u"", u"/", u"", u".idx"},
      {u"dir.d/pack-a.b.pack", u"dir.d/pack-a.b.pack/", u"pack-a.b.pack", u"dir.d/pack-a.b.idx"},
      {u"name.", u"name./", u"name.", u"name.idx"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(StringToUtf8Bytes(row.path));
    EXPECT_EQ(IncludeTrailingPathDelimiter(NativePath(row.path)), NativePath(row.withDelimiter));
    EXPECT_EQ(ExtractFileName(NativePath(row.path)), row.name);
    EXPECT_EQ(ChangeFileExt(NativePath(row.path), u".idx"), NativePath(row.changed));
  }
}
