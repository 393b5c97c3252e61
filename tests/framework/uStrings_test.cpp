#include "framework/uStrings.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "support/Raises.h"
#include "support/TestPlatform.h"

namespace {

// A number that names no code page.
constexpr std::uint32_t UnknownCodePage = 12345;

String Wide(std::uint32_t codePage, const RawByteString& bytes) {
  return MultiByteToWide(codePage, bytes.data(), static_cast<int>(bytes.size()));
}

RawByteString Narrow(std::uint32_t codePage, const String& text) {
  return WideToMultiByte(codePage, text.data(), static_cast<int>(text.size()));
}

TEST(StringConversion, EmptyInputGivesEmptyResultWithoutAskingThePlatform) {
  // An unknown code page would fail if the platform were asked.
  for (const int length : {0, -1}) {
    SCOPED_TRACE(length);
    EXPECT_EQ(AnsiToOem("x", length), "");
    EXPECT_EQ(MultiByteToWide(UnknownCodePage, "x", length), u"");
    EXPECT_EQ(AnsiToWide("x", length), u"");
    EXPECT_EQ(WideToMultiByte(UnknownCodePage, u"x", length), "");
    EXPECT_EQ(WideToUTF8(u"x", length), "");
    EXPECT_FALSE(IsValidUtf8("x", length));
  }
}

// Result sizes are asked for, not guessed: a code unit may take three bytes in UTF-8, four
// in GB18030 and five in UTF-7, which must also close its shifted stretch at the end.
TEST(StringConversion, NamedCodePagesConvertBothWays) {
  struct Case { std::uint32_t codePage; RawByteString bytes; String text; };
  const Case cases[] = {
      {1252, "caf\xE9 \x80 \x9F", u"caf\u00E9 \u20AC \u0178"},
      {437, "caf\x82 \xB0 \xE1", u"caf\u00E9 \u2591 \u00DF"},
      {28591, "\xE9\xFF", u"\u00E9\u00FF"},
      {65000, "+AOk-", u"\u00E9"},
      // The byte-order mark is text like any other.
      {CodePageUtf8, "\xEF\xBB\xBF" "a\xC3\xA9\xE0\xA0\x80\xE2\x82\xAC\xEF\xBF\xBD\xF0\x9F\x98\x80",
       u"\uFEFFa\u00E9\u0800\u20AC\uFFFD\U0001F600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.codePage);
    EXPECT_EQ(Wide(c.codePage, c.bytes), c.text);
    EXPECT_EQ(Narrow(c.codePage, c.text), c.bytes);
  }
  EXPECT_EQ(WideToUTF8(u"a\u00E9\u4E2D", 2), "a\xC3\xA9");
  if (RunningUnderWine()) GTEST_SKIP() << "Wine does not know code page 54936";
  EXPECT_EQ(Narrow(54936, u"\u0080"), "\x81\x30\x81\x30");
  EXPECT_EQ(Wide(54936, "\x81\x30\x81\x30"), u"\u0080");
}

TEST(StringConversion, WhatACodePageLacksIsReplacedAndAnUnknownCodePageRaises) {
  EXPECT_EQ(Narrow(1252, u"a\u4E2Db"), "a?b");
  // Each code unit of a surrogate pair is replaced on its own.
  EXPECT_EQ(Narrow(437, u"\U0001F600."), "??.");
  // 0x81 is a gap in code page 1252; it still yields one code unit.
  const String text = Wide(1252, "a\x81z");
  ASSERT_EQ(text.size(), 3u);
  EXPECT_EQ(text[0], u'a');
  EXPECT_EQ(text[2], u'z');
  EXPECT_EQ(MessageOfRaised<EStringError>([] { Wide(UnknownCodePage, "a"); }), u"Conversion failed.");
  EXPECT_EQ(MessageOfRaised<EStringError>([] { Narrow(UnknownCodePage, u"a"); }), u"Conversion failed.");
}

TEST(StringConversion, AnsiToOemKeepsTheLength) {
  RawByteString ansi;
  for (int byte = 1; byte < 256; ++byte) ansi += static_cast<char>(byte);
  const RawByteString oem = AnsiToOem(ansi);
  EXPECT_EQ(oem.size(), ansi.size());
  EXPECT_EQ(oem.substr(0, 0x7F), ansi.substr(0, 0x7F));
  EXPECT_EQ(AnsiToOem(ansi.data(), 10), oem.substr(0, 10));
}

TEST(StringConversion, IsValidUtf8AcceptsOnlyStrictUtf8) {
  const std::pair<RawByteString, bool> cases[] = {
      {"plain", true}, {"\xEF\xBB\xBF" "caf\xC3\xA9", true}, {"\xF0\x9F\x98\x80", true}, {"\xF4\x8F\xBF\xBF", true},
      {"caf\xE9", false},                                 // a code-page byte
      {"\xC3", false}, {"\x80", false},                   // cut short; a continuation without a lead
      {"\xC0\xAF", false}, {"\xE0\x80\xAF", false},       // overlong
      {"\xED\xA0\x80", false}, {"\xF4\x90\x80\x80", false},  // an encoded surrogate; beyond U+10FFFF
      {"\xF0\x9F\x98\x80\xFF", false},                    // a bad byte after a supplementary character
  };
  for (const auto& [bytes, valid] : cases) {
    SCOPED_TRACE(testing::PrintToString(bytes));
    EXPECT_EQ(IsValidUtf8(bytes.data(), static_cast<int>(bytes.size())), valid);
  }
}

}  // namespace
