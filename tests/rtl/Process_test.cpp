#include "rtl/Process.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "rtl/Utf8.h"
#include "support/TestPlatform.h"

TEST(SplitCommandLine, FollowsTheQuotingRules) {
  const struct { String commandLine; TStringList parameters; } cases[] = {
      {u"", {}},
      {u"  prog  a   b  ", {u"prog", u"a", u"b"}},
      {u"\"C:\\Program Files\\t.exe\" -r", {u"C:\\Program Files\\t.exe", u"-r"}},
      // Quotes in the middle join the quoted text to the text around it.
      {u"prog x\"a b\"y a\"\"b", {u"prog", u"xa by", u"ab"}},
      // An empty pair of quotes between blanks is no parameter at all.
      {u"prog a \"\" b \"\"\"\"c", {u"prog", u"a", u"b", u"c"}},
      {u"prog \" \" b", {u"prog", u" ", u"b"}},
      // An unterminated quote runs to the end.
      {u"prog \"a b", {u"prog", u"a b"}},
      // The first parameter that comes out empty ends the list.
      {u"prog a \"", {u"prog", u"a"}},
      {u"prog a \"\"\"", {u"prog", u"a"}},
      // No escapes: a backslash is an ordinary character, also before a quote.
      {u"prog C:\\dir\\ \"x\\\" y", {u"prog", u"C:\\dir\\", u"x\\", u"y"}},
      // Control characters separate outside quotes and are kept inside them.
      {u"prog\ta\r\nb\x01" u"c \"d\te\"", {u"prog", u"a", u"b", u"c", u"d\te"}},
      {String(u"prog a\0b", 8), {u"prog", u"a"}},
      {u"prog d\u00E9bug \U0001F600", {u"prog", u"d\u00E9bug", u"\U0001F600"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.commandLine));
    EXPECT_EQ(SplitCommandLine(c.commandLine), c.parameters);
  }
}

TEST(ExecutablePath, NamesTheRunningTestProgram) {
  const String path = ExecutablePath();
  const std::filesystem::path file = ToPath(path);
  EXPECT_TRUE(file.is_absolute()) << StringToUtf8Bytes(path);
  EXPECT_TRUE(std::filesystem::is_regular_file(file)) << StringToUtf8Bytes(path);
  EXPECT_EQ(file.stem(), "tidemark_tests");
}
