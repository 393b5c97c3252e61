// On POSIX the ANSI and OEM code pages are UTF-8 with the lossless escape of Utf8.h.
#include "framework/uStrings.h"

#include <gtest/gtest.h>

namespace {

TEST(Utf8SystemCodePages, AnsiAndOemTextIsUtf8AndBytesThatAreNotSurviveARoundTrip) {
  for (const std::uint32_t codePage : {CodePageAnsi, CodePageOem, CodePageUtf8}) {
    SCOPED_TRACE(codePage);
    EXPECT_EQ(MultiByteToWide(codePage, "caf\xC3\xA9", 5), u"caf\u00E9");
    EXPECT_EQ(WideToMultiByte(codePage, u"caf\u00E9", 4), "caf\xC3\xA9");
  }
  const RawByteString bytes = "a\xE9\xFF\xC3\xE2\x82\xAC";
  const String text = AnsiToWide(bytes.data(), static_cast<int>(bytes.size()));
  EXPECT_EQ(text, u"a\xDCE9\xDCFF\xDCC3\u20AC");
  EXPECT_EQ(WideToMultiByte(CodePageAnsi, text.data(), static_cast<int>(text.size())), bytes);
  EXPECT_EQ(AnsiCharToWide('\xE9'), u'\xDCE9');
  RawByteString all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(AnsiToOem(all), all);
}

}  // namespace
