// The \\?\ form that every file service of the Windows build uses: paths beyond MAX_PATH and
// names that plain paths cannot hold.
#include "rtl/FileSystem_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "compat/uCompatibility.h"
#include "rtl/Stream.h"
#include "rtl/Utf8.h"
#include "support/TempDir.h"

TEST(ExtendedPath, TakesFullPathsAsTheyStandAndMakesOthersFullFirst) {
  const String cwd = ExpandFileName(u"."), Long(300, u'x');
  const struct {
    String Path, Expected;
  } cases[] = {
      {u"C:\\a\\b", u"\\\\?\\C:\\a\\b"}, {u"c:\\", u"\\\\?\\c:\\"}, {u"C:\\a\\dir\\", u"\\\\?\\C:\\a\\dir\\"},
      // Kept as named: a trailing dot or blank, a device name, three dots.
      {u"C:\\dot.\\blank \\nul\\...", u"\\\\?\\C:\\dot.\\blank \\nul\\..."}, {u"C:\\" + Long + u"\\" + Long, u"\\\\?\\C:\\" + Long + u"\\" + Long},
      {u"\\\\server\\share\\dir\\file", u"\\\\?\\UNC\\server\\share\\dir\\file"}, {u"\\\\server\\share", u"\\\\?\\UNC\\server\\share"},
      // Resolved first, as the system resolves them.
      {u"C:/a/b", u"\\\\?\\C:\\a\\b"}, {u"C:\\a\\..\\b\\.\\c", u"\\\\?\\C:\\b\\c"}, {u"C:\\a\\\\b", u"\\\\?\\C:\\a\\b"},
      {u"\\\\server\\share\\a\\..\\b", u"\\\\?\\UNC\\server\\share\\b"}, {u"relative\\" + Long, u"\\\\?\\" + cwd + u"\\relative\\" + Long},
      // Left alone.
      {u"\\\\?\\C:\\a\\..", u"\\\\?\\C:\\a\\.."}, {u"\\\\.\\pipe\\name", u"\\\\.\\pipe\\name"}, {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.Path));
    EXPECT_EQ(ExtendedPath(c.Path), c.Expected);
  }
}

using ExtendedPaths = TempDirTest;

// Each name at the bottom of a chain of 600 characters; "dot." and "blank " exist only in the
// \\?\ form, a plain path drops their trailing dot or blank.
TEST_F(ExtendedPaths, EveryFileServiceReachesPathsBeyondMaxPathAndExactNames) {
  const auto W = [](const String& text) { return reinterpret_cast<const wchar_t*>(ExtendedPath(text).c_str()); };
  String bottom = PathOf();
  for (int level = 0; level < 12; ++level) ASSERT_TRUE(CreateDirectoryW(W(bottom += u"\\" + String(50, u'd')), nullptr));
  for (const String name : {u"plain", u"dot.", u"blank "}) {
    SCOPED_TRACE(StringToUtf8Bytes(name));
    const String directory = bottom + u"\\" + name, file = directory + u"\\file.", other = directory + u"\\other";
    ASSERT_TRUE(CreateDirectoryW(W(directory), nullptr));
    for (const String& made : {file, other}) TFileStream(made, FileModeCreate).Write("data", 4);
    EXPECT_TRUE(DirectoryExists(directory) && FileExists(file) && !IsLink(file));
    TFileTime creation, lastWrite, lastAccess, time;
    ASSERT_TRUE(GetFileTimes(file, creation, time, lastAccess));
    time.Low ^= 1u;
    EXPECT_TRUE(SetFileLastWriteTime(file, time) && GetFileTimes(file, creation, lastWrite, lastAccess) && lastWrite == time);
    EXPECT_EQ(TFileStream(file, FileModeOpenRead).Size(), 4);
    int found = 0;
    for (TFileSearch search(directory + u"\\*.*"); search.Found(); search.Next()) ++found;
    EXPECT_EQ(found, 4);
    EXPECT_TRUE(RemoveFile(file) && ForceRemoveFile(other) && RemoveEmptyDirectory(directory) && !DirectoryExists(directory));
  }
}
