#include "rtl/Process.h"

#include <gtest/gtest.h>

#include "rtl/FileSystem.h"
#include "rtl/Path.h"
#include "rtl/Utf8.h"

TEST(SplitCommandLine, FollowsTheQuotingRules) {
  const struct { String commandLine; TStringList parameters; } rows[] = {
      {u"", {}}, {u"  prog  a   b  ", {u"prog", u"a", u"b"}},
      {u"prog x\"a b\"y a\"\"b", {u"prog", u"xa by", u"ab"}}, {u"prog a \"\" b \"\"\"\"c", {u"prog", u"a", u"b", u"c"}},
      {u"prog \" \" b", {u"prog", u" ", u"b"}}, {u"prog \"a b", {u"prog", u"a b"}},
      {u"prog a \"", {u"prog", u"a"}}, {u"prog a \"\"\"", {u"prog", u"a"}}, {String(u"prog a\0b", 8), {u"prog", u"a"}},
      {u"prog C:\\dir\\ \"x\\\" y", {u"prog", u"C:\\dir\\", u"x\\", u"y"}},
      {u"prog\ta\r\nb\x01" u"c \"d\te\"", {u"prog", u"a", u"b", u"c", u"d\te"}},
      {u"prog d\u00E9bug \U0001F600", {u"prog", u"d\u00E9bug", u"\U0001F600"}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(StringToUtf8Bytes(row.commandLine));
    EXPECT_EQ(SplitCommandLine(row.commandLine), row.parameters);
  }
}

TEST(Process, ParametersLeaveOutTheProgramAndEmptyOnesAndTheExecutableIsThisProgram) {
  const char* const argv[] = {"/bin/prog", "-r", "", "caf\xC3\xA9", "\xE9", "a b"};
  SetProcessArguments(6, argv);
#ifndef _WIN32  // Windows splits its own command line instead
  EXPECT_EQ(ProcessParameters(), (TStringList{u"-r", u"caf\u00E9", u"\xDCE9", u"a b"}));
  SetProcessArguments(0, nullptr);
  EXPECT_EQ(ProcessParameters(), TStringList());
#endif
  const String path = ExecutablePath();
  EXPECT_TRUE(FileExists(path) && ExpandFileName(path) == path) << StringToUtf8Bytes(path);
  EXPECT_EQ(ChangeFileExt(ExtractFileName(path), u""), u"tidemark_tests");
}
