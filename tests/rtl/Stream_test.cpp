#include "rtl/Stream.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "support/MemoryStream.h"
#include "support/Raises.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

TEST(Stream, ModeWordsDecodeAsTheTableSays) {
  using enum TFileOpenMode::TAccess;
  using enum TFileOpenMode::TDisposition;
  using TSharing = TFileOpenMode::TSharing;
  const struct { std::uint16_t word; TFileOpenMode mode; } rows[] = {
      {0x0000, {Read, OpenExisting, TSharing::None}},
      {0x0001, {Write, OpenExisting, TSharing::None}},
      {0x0022, {ReadWrite, OpenExisting, TSharing::Read}},
      {0x0030, {Read, OpenExisting, TSharing::Write}},
      {0x0040, {Read, OpenExisting, TSharing::ReadWrite}},
      {0x0110, {Read, OpenExisting, TSharing::None}},
      {0xFF00, {ReadWrite, CreateAlways, TSharing::None}},
      {0xFF04, {ReadWrite, CreateNew, TSharing::None}},
      {0xFF20, {ReadWrite, CreateAlways, TSharing::Read}},
      {0xFF43, {ReadWrite, CreateAlways, TSharing::ReadWrite}},
      {0xFFFF, {ReadWrite, CreateAlways, TSharing::None}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.word);
    const std::optional<TFileOpenMode> mode = DecodeFileMode(row.word);
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(mode->Access, row.mode.Access);
    EXPECT_EQ(mode->Disposition, row.mode.Disposition);
    EXPECT_EQ(mode->Sharing, row.mode.Sharing);
  }
  for (const std::uint16_t rejected : std::initializer_list<std::uint16_t>{0x0003, 0x0023, 0x0050, 0x00F2, 0xFF50, 0xFFF0}) {
    SCOPED_TRACE(rejected);
    EXPECT_FALSE(DecodeFileMode(rejected).has_value());
  }
}

TEST(Stream, BufferTransfersRepeatUntilEverythingMovedAndPositionsGoThroughSeek) {
  TMemoryTestStream stream("0123456789");
  stream.MaxTransfer = 3;
  char buffer[10];
  stream.ReadBuffer(buffer, 10);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);

  stream.SetPosition(2);
  stream.WriteBuffer("abcdefg", 7);
  EXPECT_EQ(stream.Bytes, "01abcdefg9");
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(stream.Position(), 9);
  stream.RefuseWrites = true;
  EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
  // The 32-bit form reports the low half of a position beyond 4 GiB.
  stream.SetPosition(0x100000005);
  EXPECT_EQ(stream.Seek(std::int32_t{0}, std::uint16_t{1}), 5);
  EXPECT_EQ(stream.Position(), 0x100000005);
}

using FileStream = TempDirTest;

TEST_F(FileStream, ReadsWritesSeeksResizesAndCreates) {
  WriteFile("old.txt", "old content");
  EXPECT_EQ(TFileStream(PathOf("old.txt"), FileModeCreate).Size(), 0);
  TFileStream file(PathOf("f.bin"), FileModeCreateNew);
  EXPECT_EQ(file.Write("hello world", 11), 11);
  EXPECT_EQ(file.Seek(std::int64_t{-5}, TSeekOrigin::soEnd), 6);
  char buffer[8] = {};
  EXPECT_EQ(file.Read(buffer, 8), 5);
  EXPECT_EQ(std::string(buffer, 5), "world");
  EXPECT_EQ(file.Read(buffer, 8), 0);
  file.SetSize(std::int64_t{5});
  EXPECT_EQ(file.Position(), 5);
  EXPECT_EQ(file.Size(), 5);
}

// Each names the full path and reads the same on every platform; a rejected mode word creates
// nothing.
TEST_F(FileStream, FailuresNameTheFullPathAndTheSameReasonEverywhere) {
  WriteFile("f.txt", "content");
  MakeDir("dir");
  const struct { const char* name; std::uint16_t mode; bool create; const char16_t* reason; } cases[] = {
      {"f.txt", 0x0003, false, u"The parameter is incorrect."},
      {"f.txt", 0x0050, false, u"The parameter is incorrect."},
      {"n.txt", 0xFF50, true, u"The parameter is incorrect."},
      {"f.txt", FileModeCreateNew, true, u"The file exists."},
      {"missing.txt", FileModeOpenRead, false, u"The system cannot find the file specified."},
      {"no/f.txt", FileModeCreate, true, u"The system cannot find the path specified."},
      {"dir", FileModeOpenRead, false, u"Access is denied."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const String path = PathOf(std::filesystem::path(c.name).make_preferred());
    const auto open = [&] { TFileStream(path, c.mode); };
    const String message = c.create ? MessageOfRaised<EFCreateError>(open) : MessageOfRaised<EFOpenError>(open);
    EXPECT_EQ(message, (c.create ? u"Cannot create file \"" : u"Cannot open file \"") + path + u"\". " + c.reason);
  }
  EXPECT_FALSE(std::filesystem::exists(Root() / "n.txt"));
}

TEST(HandleStream, FailedCallsReportNothingMoved) {
  THandleStream closed(static_cast<THandle>(-1));
  char buffer[4];
  EXPECT_EQ(closed.Read(buffer, 4), 0);
  EXPECT_EQ(closed.Write("abcd", 4), 0);
  EXPECT_EQ(closed.Seek(std::int64_t{0}, TSeekOrigin::soCurrent), -1);
  EXPECT_EQ(MessageOfRaised<EWriteError>([&] { closed.SetSize(std::int64_t{0}); }), u"The handle is invalid.");
}
