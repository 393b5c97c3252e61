// The \\?\ form that every file service of the Windows build uses: it reaches paths beyond
// MAX_PATH and names that plain paths cannot hold.
#include "rtl/FileSystem_win32.h"

#include "rtl/FileSystem.h"

#include <gtest/gtest.h>

#include "rtl/Utf8.h"

TEST(ExtendedPath, TakesFullPathsAsTheyStandAndMakesOthersFullFirst) {
  const String cwd = ExpandFileName(u"."), Long(300, u'x');
  const struct {
    String Path, Expected;
  } cases[] = {
      {u"C:\\a\\b", u"\\\\?\\C:\\a\\b"}, {u"c:\\", u"\\\\?\\c:\\"}, {u"C:\\a\\dir\\", u"\\\\?\\C:\\a\\dir\\"},
      {u"C:\\dot.\\blank \\nul\\...", u"\\\\?\\C:\\dot.\\blank \\nul\\..."}, {u"C:\\" + Long + u"\\" + Long, u"\\\\?\\C:\\" + Long + u"\\" + Long},
      {u"\\\\server\\share\\dir\\file", u"\\\\?\\UNC\\server\\share\\dir\\file"}, {u"\\\\server\\share", u"\\\\?\\UNC\\server\\share"},
      {u"C:/a/b", u"\\\\?\\C:\\a\\b"}, {u"C:\\a\\..\\b\\.\\c", u"\\\\?\\C:\\b\\c"}, {u"C:\\a\\\\b", u"\\\\?\\C:\\a\\b"},
      {u"\\\\server\\share\\a\\..\\b", u"\\\\?\\UNC\\server\\share\\b"}, {u"relative\\" + Long, u"\\\\?\\" + cwd + u"\\relative\\" + Long},
      {u"\\\\?\\C:\\a\\..", u"\\\\?\\C:\\a\\.."}, {u"\\\\.\\pipe\\name", u"\\\\.\\pipe\\name"}, {u"", u""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExtendedPath(c.Path), c.Expected) << StringToUtf8Bytes(c.Path);
}
