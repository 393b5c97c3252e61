#include "rtl/Format.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"

TEST(Format, ReplacesPlaceholdersInOrderAndFillsFieldsExactly) {
  EXPECT_EQ(Format(u"Unknown parameter \"%s\".", {String(u"-x")}), u"Unknown parameter \"-x\".");
  EXPECT_EQ(Format(u"ERROR %s: %s", {String(u"EAbort"), String(u"m")}), u"ERROR EAbort: m");
  EXPECT_EQ(Format(u"100%% of %d", {-7}), u"100% of -7");
  EXPECT_EQ(Format(u"no placeholders", {}), u"no placeholders");
  // A fixed field pads or cuts to its exact width.
  EXPECT_EQ(Format(u"%-41.41s", {String(u"Tidemark v0.02 (Unicode)")}), u"Tidemark v0.02 (Unicode)" + String(17, u' '));
  EXPECT_EQ(Format(u"%-41.41s", {String(50, u'x')}), String(41, u'x'));
  EXPECT_EQ(Format(u"[%5s|%-5s]", {String(u"ab"), String(u"cd")}), u"[   ab|cd   ]");
  EXPECT_EQ(Format(u"%.3d|%4d", {7, 42}), u"007|  42");
  EXPECT_EQ(Format(u"%d", {INT64_MIN}), u"-9223372036854775808");
}

TEST(Format, RejectsMalformedOrMismatchedPlaceholders) {
  for (const String format : {u"%s", u"%d %d", u"%x", u"trailing %", u"%-"}) {
    SCOPED_TRACE(std::string(format.begin(), format.end()));
    EXPECT_THROW(Format(format, {1}), EConvertError);
  }
  EXPECT_THROW(Format(u"%d", {String(u"text")}), EConvertError);
}

TEST(Format, BoundsWidthAndPrecision) {
  EXPECT_EQ(Format(u"%65535s", {String(u"x")}), String(65534, u' ') + u"x");
  EXPECT_EQ(Format(u"%.65535d", {0}), String(65535, u'0'));
  for (const String format : {u"%65536s", u"%-99999999999999999999s", u"%.65536s", u"%1.65536s"}) {
    SCOPED_TRACE(std::string(format.begin(), format.end()));
    EXPECT_THROW(Format(format, {String(u"x")}), EConvertError);
  }
  EXPECT_THROW(Format(u"%.65536d", {0}), EConvertError);
}
