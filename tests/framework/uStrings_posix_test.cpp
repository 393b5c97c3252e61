// On POSIX the ANSI and OEM code pages are UTF-8 with the lossless escape of Utf8.h.
#include "framework/uStrings.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8SystemCodePages, AnsiAndOemTextIsUtf8) {
  for (const std::uint32_t codePage : {CodePageAnsi, CodePageOem, CodePageUtf8}) {
    SCOPED_TRACE(codePage);
    EXPECT_EQ(MultiByteToWide(codePage, "caf\xC3\xA9", 5), u"caf\u00E9");
    EXPECT_EQ(WideToMultiByte(codePage, u"caf\u00E9", 4), "caf\xC3\xA9");
  }
  EXPECT_EQ(AnsiToWide("\xE2\x82\xAC", 3), u"\u20AC");
}

TEST(Utf8SystemCodePages, BytesThatAreNotUtf8SurviveARoundTrip) {
  const RawByteString bytes = "a\xE9\xFF\xC3";
  const String text = AnsiToWide(bytes.data(), static_cast<int>(bytes.size()));
  EXPECT_EQ(text, u"a\xDCE9\xDCFF\xDCC3");
  EXPECT_EQ(WideToMultiByte(CodePageAnsi, text.data(), static_cast<int>(text.size())), bytes);
  EXPECT_EQ(AnsiCharToWide('\xE9'), u'\xDCE9');
}

TEST(Utf8SystemCodePages, AnsiToOemChangesNothing) {
  RawByteString bytes;
  for (int byte = 1; byte < 256; ++byte) bytes += static_cast<char>(byte);
  EXPECT_EQ(AnsiToOem(bytes), bytes);
}

}  // namespace
