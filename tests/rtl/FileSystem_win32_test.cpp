// The \\?\ form that every file service of the Windows build uses: paths beyond MAX_PATH and
// names that plain paths cannot hold.

#include "rtl/FileSystem_win32.h"

#include <gtest/gtest.h>

#include "compat/uCompatibility.h"
#include "rtl/FileSystem.h"
#include "rtl/Stream.h"
#include "rtl/Utf8.h"
#include "support/DeepTree.h"
#include "support/TempDir.h"

static const String Long(300, u'x');

TEST(ExtendedPath, TakesFullPathsAsTheyStandAndMakesOthersFullFirst) {
  const String cwd = ExpandFileName(u".");
  const struct { String Path, Expected; } cases[] = {
      {u"C:\\a\\b", u"\\\\?\\C:\\a\\b"},
      {u"c:\\", u"\\\\?\\c:\\"},
      {u"C:\\a\\dir\\", u"\\\\?\\C:\\a\\dir\\"},
      // Kept as named: a trailing dot or blank, a device name, three dots.
      {u"C:\\dot.\\blank \\nul\\...", u"\\\\?\\C:\\dot.\\blank \\nul\\..."},
      {u"C:\\" + Long + u"\\" + Long, u"\\\\?\\C:\\" + Long + u"\\" + Long},
      {u"\\\\server\\share\\dir\\file", u"\\\\?\\UNC\\server\\share\\dir\\file"},
      {u"\\\\server\\share", u"\\\\?\\UNC\\server\\share"},
      // Resolved first, as the system resolves them.
      {u"C:/a/b", u"\\\\?\\C:\\a\\b"},
      {u"C:\\a\\..\\b\\.\\c", u"\\\\?\\C:\\b\\c"},
      {u"C:\\a\\\\b", u"\\\\?\\C:\\a\\b"},
      {u"\\\\server\\share\\a\\..\\b", u"\\\\?\\UNC\\server\\share\\b"},
      {u"relative\\" + Long, u"\\\\?\\" + cwd + u"\\relative\\" + Long},
      // Left alone.
      {u"\\\\?\\C:\\a\\..", u"\\\\?\\C:\\a\\.."},
      {u"\\\\.\\pipe\\name", u"\\\\.\\pipe\\name"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(c.Path));
    EXPECT_EQ(ExtendedPath(c.Path), c.Expected);
  }
}

using ExtendedPaths = TempDirTest;

TEST_F(ExtendedPaths, EveryFileServiceReachesPathsBeyondMaxPathAndExactNames) {
  // Each name at the bottom of a chain of 600 characters; "dot." and "blank " exist only in
  // the \\?\ form, a plain path drops their trailing dot or blank.
  const TDeepDirectory bottom(Root(), std::string(50, 'd'), 12);
  ASSERT_TRUE(bottom.Made());
  for (const char* name : {"plain", "dot.", "blank "}) {
    SCOPED_TRACE(name);
    const String directory = bottom.Path() + u"\\" + Utf8BytesToString(name);
    ASSERT_TRUE(bottom.WriteFile(std::string(name) + "/file."));
    ASSERT_TRUE(bottom.WriteFile(std::string(name) + "/other"));
    const String file = directory + u"\\file.";

    EXPECT_TRUE(DirectoryExists(directory));
    EXPECT_TRUE(FileExists(file));
    EXPECT_FALSE(IsLink(file));
    EXPECT_TRUE(GetFileIdentity(directory));
    TFileTime time = *bottom.LastWriteTime(std::string(name) + "/file.");
    time.Low ^= 1u;
    EXPECT_TRUE(SetFileLastWriteTime(file, time));
    EXPECT_EQ(bottom.LastWriteTime(std::string(name) + "/file."), time);
    TFileTime creation, lastWrite, lastAccess;
    EXPECT_TRUE(GetFileTimes(file, creation, lastWrite, lastAccess));
    EXPECT_EQ(lastWrite, time);
    {
      TFileStream stream(file, FileModeOpenReadWrite | FileShareReadWrite);
      EXPECT_EQ(stream.Write("data", 4), 4);
    }
    EXPECT_EQ(TFileStream(file, FileModeOpenRead).Size(), 4);
    std::vector<String> found;
    for (TFileSearch search(directory + u"\\*.*"); search.Found(); search.Next()) found.push_back(search.Entry().Name);
    EXPECT_EQ(found.size(), 4u);

    EXPECT_TRUE(RemoveFile(file));
    EXPECT_TRUE(ForceRemoveFile(directory + u"\\other"));
    EXPECT_TRUE(RemoveEmptyDirectory(directory));
    EXPECT_FALSE(DirectoryExists(directory));
  }
}
