#include "rtl/Stream.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "support/Raises.h"
#include "support/TempDir.h"

using FileStream = TempDirTest;

// A failure names the full path and reads the same everywhere; a refused mode creates nothing.
TEST_F(FileStream, ReadsWritesSeeksAndResizesOrFailsInOneWordingEverywhere) {
  WriteFile("old.txt", "old content");
  EXPECT_EQ(TFileStream(PathOf("old.txt"), FileModeCreate).Size(), 0);
  TFileStream file(PathOf("f.bin"), FileModeCreateNew);
  char buffer[8] = {};
  EXPECT_EQ(file.Write("hello world", 11), 11);
  EXPECT_EQ(file.Seek(std::int64_t{-5}, TSeekOrigin::soEnd), 6);
  EXPECT_EQ(file.Read(buffer, 1) + file.Read(buffer + 1, 7), 5);  // a single byte too
  const std::int32_t none = file.Read(buffer, 8) + file.Read(buffer, 0) + file.Write("x", 0);
  EXPECT_EQ(std::string(buffer, 5) + std::to_string(none), "world0");
  file.SetSize(std::int64_t{5});
  EXPECT_EQ(std::to_string(file.Position()) + " " + std::to_string(file.Size()), "5 5");
  MakeDir("dir");
  const struct { const char* name; std::uint16_t mode; const char16_t* reason; } rows[] = {
      {"n.txt", 0xFF50, u"The parameter is incorrect."}, {"f.bin", FileModeCreateNew, u"The file exists."},
      {"missing.txt", FileModeOpenRead, u"The system cannot find the file specified."},
      {"no/f.txt", FileModeCreate, u"The system cannot find the path specified."},
      {"dir", FileModeOpenRead, u"Access is denied."},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const String path = PathOf(std::filesystem::path(row.name).make_preferred());
    const String how = IsCreateMode(row.mode) ? u"EFCreateError: Cannot create" : u"EFOpenError: Cannot open";
    EXPECT_EQ(Raised([&] { TFileStream(path, row.mode); }), how + u" file \"" + path + u"\". " + row.reason);
  }
  EXPECT_FALSE(std::filesystem::exists(Root() / "n.txt"));
  THandleStream closed(static_cast<THandle>(-1));
  const auto moved = {std::int64_t{closed.Read(buffer, 4)}, std::int64_t{closed.Write("abcd", 4)}, closed.Position()};
  EXPECT_EQ(std::vector<std::int64_t>(moved), (std::vector<std::int64_t>{0, 0, -1}));
  EXPECT_EQ(Raised([&] { closed.SetSize(std::int64_t{0}); }), u"EWriteError: The handle is invalid.");
}
