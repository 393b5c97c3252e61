#include "rtl/TextCompare.h"

#include <gtest/gtest.h>

#include "rtl/Utf8.h"

TEST(SameText, IgnoresLetterCaseBeyondAscii) {
  const struct { std::u16string_view a, b; bool same; } rows[] = {
      {u"quiet", u"QUIET", true}, {u"D\u00C9BUG", u"d\u00E9bug", true},
      {u"\u041F\u0420\u0418", u"\u043F\u0440\u0438", true},
      {u"\u03A3\u039F\u03A6", u"\u03C3\u03BF\u03C6", true}, {u"\U0001F600x", u"\U0001F600X", true}, {u"", u"", true},
      {u"debug", u"d\u00E9bug", false}, {u"abc", u"abd", false}, {u"abc", u"abcd", false},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(StringToUtf8Bytes(row.a) + " / " + StringToUtf8Bytes(row.b));
    EXPECT_EQ(SameText(row.a, row.b), row.same);
    EXPECT_EQ(SameText(row.b, row.a), row.same);
  }
}
