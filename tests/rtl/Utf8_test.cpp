#include "rtl/Utf8.h"

#include <gtest/gtest.h>

// Both ways: every byte that is not valid UTF-8 is escaped as U+DC80..U+DCFF; other lone
// surrogates stay visible.
TEST(Utf8, DecodesValidTextAndEscapesEveryOtherByteLosslessly) {
  const struct { std::string bytes; std::u16string text; } rows[] = {
      {"\xF0\x9F\x98\x80 \xF0\x90\x80\x80 caf\xC3\xA9 \xE2\x82\xAC", u"\U0001F600 \U00010000 caf\u00E9 \u20AC"},
      {"a\x80z\xFF\xC0\x80", u"a\xDC80z\xDCFF\xDCC0\xDC80"}, {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},
      {"\xF4\x90\x80\x80\xE2\x82", u"\xDCF4\xDC90\xDC80\xDC80\xDCE2\xDC82"},
      {"\xF0\x9F\x98\xC3\x41", u"\xDCF0\xDC9F\xDC98\xDCC3" u"A"},
      {"\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\u0080\u07FF\u0800\uD7FF\uE000\uFFFF\U00010000\U0010FFFF"},
      {"\xC1\xBF\xE0\x9F\xBF\xF0\x8F\xBF\xBF\xF5\x80", u"\xDCC1\xDCBF\xDCE0\xDC9F\xDCBF\xDCF0\xDC8F\xDCBF\xDCBF\xDCF5\xDC80"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(Utf8BytesToString(row.bytes), row.text);
    EXPECT_EQ(StringToUtf8Bytes(row.text), row.bytes);
  }
  std::string all(256, '\0');
  for (int b = 0; b < 256; ++b) all[static_cast<std::size_t>(b)] = static_cast<char>(b);
  EXPECT_EQ(StringToUtf8Bytes(Utf8BytesToString(all)), all);
  EXPECT_EQ(StringToUtf8Bytes(u"\xD800x\xDC7F"), "\xED\xA0\x80x\xED\xB1\xBF");
}
