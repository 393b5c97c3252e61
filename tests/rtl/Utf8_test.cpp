#include "rtl/Utf8.h"

#include <gtest/gtest.h>

TEST(Utf8, DecodesValidTextIncludingSupplementaryCharacters) {
  EXPECT_EQ(Utf8BytesToString("plain"), u"plain");
  EXPECT_EQ(Utf8BytesToString("caf\xC3\xA9"), u"caf\u00E9");
  EXPECT_EQ(Utf8BytesToString("\xE2\x82\xAC"), u"\u20AC");
  EXPECT_EQ(Utf8BytesToString("\xF0\x9F\x98\x80"), u"\U0001F600");
}

TEST(Utf8, EscapesEveryByteThatIsNotValidUtf8) {
  struct Case {
    const char* bytes;
    std::u16string expected;
  } cases[] = {
      {"\xFF", u"\xDCFF"},
      {"a\x80z", u"a\xDC80z"},
      {"\xC0\x80", u"\xDCC0\xDC80"},           // overlong NUL
      {"\xED\xA0\x80", u"\xDCED\xDCA0\xDC80"},  // an encoded surrogate
      {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"},  // above U+10FFFF
      {"\xE2\x82", u"\xDCE2\xDC82"},            // cut short
      {"\xC3\x41", u"\xDCC3" u"A"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(Utf8BytesToString(c.bytes), c.expected);
  }
}

TEST(Utf8, EveryByteStringRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (const std::string& bytes : {all, std::string("\xF0\x9F\x98"), std::string("\xED\xBF\xBF\xC3\xA9")}) {
    EXPECT_EQ(StringToUtf8Bytes(Utf8BytesToString(bytes)), bytes);
  }
}

TEST(Utf8, EncodesPairsAndKeepsOtherLoneSurrogatesVisible) {
  EXPECT_EQ(StringToUtf8Bytes(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(StringToUtf8Bytes(u"\xD800" u"x"), "\xED\xA0\x80x");
  EXPECT_EQ(StringToUtf8Bytes(u"\xDC7F"), "\xED\xB1\xBF");
}
