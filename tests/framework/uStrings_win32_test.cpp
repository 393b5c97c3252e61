// Expectations for the Windows code pages of a Western European system.
#include <windows.h>

#include "framework/uStrings.h"

#include <gtest/gtest.h>

namespace {

TEST(WesternCodePages, AnsiIsCodePage1252AndOemIs437) {
  if (GetACP() != 1252 || GetOEMCP() != 437)
    GTEST_SKIP() << "needs ANSI code page 1252 and OEM code page 437, found " << GetACP() << " and " << GetOEMCP();
  EXPECT_EQ(AnsiCharToWide('\xE9'), u'\u00E9');
  EXPECT_EQ(AnsiCharToWide('\x80'), u'\u20AC');
  EXPECT_EQ(AnsiToWide("caf\xE9", 4), u"caf\u00E9");
  EXPECT_EQ(WideToMultiByte(CodePageAnsi, u"\u00E9\u20AC", 2), "\xE9\x80");
  EXPECT_EQ(AnsiToOem("\xE9", 1), "\x82");
  EXPECT_EQ(AnsiToOem(RawByteString("caf\xE9 \xDF")), "caf\x82 \xE1");
}

}  // namespace
