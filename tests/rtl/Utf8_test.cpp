#include "rtl/Utf8.h"

#include <gtest/gtest.h>

// Each row both ways: valid text decodes, every byte that is not valid UTF-8 is escaped, and
// encoding gives the same bytes back.
TEST(Utf8, DecodesValidTextAndEscapesEveryOtherByteLosslessly) {
  const struct { std::string bytes; std::u16string text; } cases[] = {
      {"plain caf\xC3\xA9", u"plain caf\u00E9"},
      {"\xE2\x82\xAC", u"\u20AC"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"\xFF", u"\xDCFF"},
      {"a\x80z", u"a\xDC80z"},
      {"\xC0\x80", u"\xDCC0\xDC80"},                      // overlong NUL
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},            // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // above U+10FFFF
      {"\xE2\x82", u"\xDCE2\xDC82"},                      // cut short
      {"\xF0\x9F\x98", u"\xDCF0\xDC9F\xDC98"},
      {"\xC3\x41", u"\xDCC3" u"A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Utf8BytesToString(c.bytes), c.text);
    EXPECT_EQ(StringToUtf8Bytes(c.text), c.bytes);
  }
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  EXPECT_EQ(StringToUtf8Bytes(Utf8BytesToString(all)), all);
  // Lone surrogates other than the escapes stay visible.
  EXPECT_EQ(StringToUtf8Bytes(u"\xD800" u"x"), "\xED\xA0\x80x");
  EXPECT_EQ(StringToUtf8Bytes(u"\xDC7F"), "\xED\xB1\xBF");
}
