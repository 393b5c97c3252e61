#include "rtl/TextCompare.h"

#include <gtest/gtest.h>

#include "rtl/Utf8.h"

TEST(SameText, IgnoresLetterCaseBeyondAscii) {
  const struct { std::u16string_view a, b; bool same; } cases[] = {
      {u"quiet", u"QUIET", true},
      {u"D\u00C9BUG", u"d\u00E9bug", true},
      {u"\u041F\u0420\u0418\u0412\u0415\u0422", u"\u043F\u0440\u0438\u0432\u0435\u0442", true},
      {u"\u03A3\u039F\u03A6\u0399\u0391", u"\u03C3\u03BF\u03C6\u03B9\u03B1", true},
      {u"\U0001F600x", u"\U0001F600X", true},
      {u"", u"", true},
      {u"debug", u"d\u00E9bug", false},
      {u"abc", u"abd", false},
      {u"abc", u"abcd", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.a) + " / " + StringToUtf8Bytes(c.b));
    EXPECT_EQ(SameText(c.a, c.b), c.same);
    EXPECT_EQ(SameText(c.b, c.a), c.same);
  }
}
