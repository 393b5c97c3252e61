#include "framework/uStrings.h"

#include <gtest/gtest.h>

#include "support/Raises.h"
#include "support/TestPlatform.h"

namespace {

constexpr std::uint32_t Unknown = 12345;

String Wide(std::uint32_t codePage, const RawByteString& bytes) {
  return MultiByteToWide(codePage, bytes.data(), static_cast<int>(bytes.size()));
}

RawByteString Narrow(std::uint32_t codePage, const String& text) {
  return WideToMultiByte(codePage, text.data(), static_cast<int>(text.size()));
}

}  // namespace

// Both ways; sizes are asked for: a unit takes up to 4 bytes in GB18030, 5 in UTF-7 (with its close).
TEST(StringConversion, CodePagesConvertBothWays) {
  const struct { std::uint32_t codePage; RawByteString bytes; String text; } rows[] = {
      {1252, "caf\xE9 \x80 \x9F", u"caf\u00E9 \u20AC \u0178"}, {437, "caf\x82 \xB0 \xE1", u"caf\u00E9 \u2591 \u00DF"},
      {28591, "\xE9\xFF", u"\u00E9\u00FF"}, {65000, "+AOk-", u"\u00E9"}, {54936, "\x81\x30\x81\x30", u"\u0080"},
      {CodePageUtf8, "\xEF\xBB\xBF" "a\xC3\xA9\xE0\xA0\x80\xEF\xBF\xBD\xF0\x9F\x98\x80",
       u"\uFEFFa\u00E9\u0800\uFFFD\U0001F600"},
#ifndef _WIN32
      {CodePageAnsi, "caf\xC3\xA9 \xE9\xFF\xC3", u"caf\u00E9 \xDCE9\xDCFF\xDCC3"}, {CodePageOem, "\xC3\xA9", u"\u00E9"},
#endif
  };
  for (const auto& row : rows) {
    if (row.codePage == 54936 && RunningUnderWine()) continue;  // Wine does not know GB18030
    EXPECT_EQ(Wide(row.codePage, row.bytes), row.text) << row.codePage;
    EXPECT_EQ(Narrow(row.codePage, row.text), row.bytes) << row.codePage;
  }
  EXPECT_EQ(WideToUTF8(u"a\u00E9\u4E2D", 2), "a\xC3\xA9");
}

TEST(StringConversion, LacksAreReplacedUnknownsRaiseAndEmptyInputIsNoConversion) {
  EXPECT_EQ(Narrow(1252, u"a\u4E2Db"), "a?b");
  EXPECT_EQ(Narrow(437, u"\U0001F600."), "??.");  // each unit of a pair on its own
  EXPECT_EQ(Raised([] { Wide(Unknown, "a"); }) + Raised([] { Narrow(Unknown, u"a"); }),
            u"EStringError: Conversion failed.EStringError: Conversion failed.");
  for (const RawByteString bytes :
       {"\xC3", "\x80", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE0\x80\xAF", "\xF0\x9F\x98\x80\xFF"})
    EXPECT_FALSE(IsValidUtf8(bytes.data(), static_cast<int>(bytes.size()))) << bytes;
  EXPECT_TRUE(IsValidUtf8("\xEF\xBB\xBF" "caf\xC3\xA9\xF4\x8F\xBF\xBF", 12));
  for (const int length : {0, -1}) {
    EXPECT_EQ(AnsiToOem("x", length) + WideToMultiByte(Unknown, u"x", length) + WideToUTF8(u"x", length), "");
    EXPECT_EQ(MultiByteToWide(Unknown, "x", length) + AnsiToWide("x", length), u"");
    EXPECT_FALSE(IsValidUtf8("x", length));
  }
}
