#include "rtl/TextCompare.h"

#include <gtest/gtest.h>

TEST(SameText, IgnoresLetterCaseBeyondAscii) {
  EXPECT_TRUE(SameText(u"\u041F\u0420\u0418 \u03A3x\U0001F600", u"\u043F\u0440\u0438 \u03C3X\U0001F600"));
  EXPECT_TRUE(SameText(u"", u""));
  for (const auto& [a, b] : {std::pair{u"debug", u"d\u00E9bug"}, {u"abc", u"abd"}, {u"abc", u"abcd"}, {u"abcd", u"abc"}})
    EXPECT_FALSE(SameText(a, b));
}
