#include "rtl/Stream.h"

#include <gtest/gtest.h>

#include "rtl/Exceptions.h"
#include "support/MemoryStream.h"
#include "support/Raises.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace {

using TAccess = TFileOpenMode::TAccess;
using TDisposition = TFileOpenMode::TDisposition;
using TSharing = TFileOpenMode::TSharing;

}  // namespace

TEST(Stream, ModeWordsDecodeAsTheTableSays) {
  struct Row { std::uint16_t mode; TAccess access; TDisposition disposition; TSharing sharing; };
  const Row rows[] = {
      {0x0000, TAccess::Read, TDisposition::OpenExisting, TSharing::None},
      {0x0001, TAccess::Write, TDisposition::OpenExisting, TSharing::None},
      {0x0022, TAccess::ReadWrite, TDisposition::OpenExisting, TSharing::Read},
      {0x0030, TAccess::Read, TDisposition::OpenExisting, TSharing::Write},
      {0x0040, TAccess::Read, TDisposition::OpenExisting, TSharing::ReadWrite},
      {0x0110, TAccess::Read, TDisposition::OpenExisting, TSharing::None},
      {0xFF00, TAccess::ReadWrite, TDisposition::CreateAlways, TSharing::None},
      {0xFF04, TAccess::ReadWrite, TDisposition::CreateNew, TSharing::None},
      {0xFF20, TAccess::ReadWrite, TDisposition::CreateAlways, TSharing::Read},
      {0xFF43, TAccess::ReadWrite, TDisposition::CreateAlways, TSharing::ReadWrite},
      {0xFFFF, TAccess::ReadWrite, TDisposition::CreateAlways, TSharing::None},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.mode);
    const std::optional<TFileOpenMode> mode = DecodeFileMode(row.mode);
    ASSERT_TRUE(mode.has_value());
    EXPECT_EQ(mode->Access, row.access);
    EXPECT_EQ(mode->Disposition, row.disposition);
    EXPECT_EQ(mode->Sharing, row.sharing);
  }
  for (const std::uint16_t rejected : std::initializer_list<std::uint16_t>{0x0003, 0x0023, 0x0050, 0x00F2, 0xFF50, 0xFFF0}) {
    SCOPED_TRACE(rejected);
    EXPECT_FALSE(DecodeFileMode(rejected).has_value());
  }
}

TEST(Stream, BufferTransfersRepeatUntilEverythingMoved) {
  TMemoryTestStream stream("0123456789");
  stream.MaxTransfer = 3;
  char buffer[10];
  stream.ReadBuffer(buffer, 10);
  EXPECT_EQ(std::string(buffer, 10), "0123456789");
  EXPECT_THROW(stream.ReadBuffer(buffer, 1), EReadError);

  stream.SetPosition(2);
  stream.WriteBuffer("abcdefg", 7);
  EXPECT_EQ(stream.Bytes, "01abcdefg9");
  stream.RefuseWrites = true;
  EXPECT_THROW(stream.WriteBuffer("x", 1), EWriteError);
}

TEST(Stream, PositionAndSizeGoThroughSeek) {
  TMemoryTestStream stream("0123456789");
  stream.SetPosition(4);
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(stream.Position(), 4);
  // The 32-bit form reports the low half of a position beyond 4 GiB.
  stream.SetPosition(0x100000005);
  EXPECT_EQ(stream.Seek(std::int32_t{0}, std::uint16_t{1}), 5);
  EXPECT_EQ(stream.Position(), 0x100000005);
}

using FileStream = TempDirTest;

TEST_F(FileStream, ReadsWritesSeeksAndResizes) {
  TFileStream file(PathOf("f.bin"), FileModeCreate);
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

TEST_F(FileStream, CreateModesEmptyOrRefuseAnExistingFile) {
  WriteFile("f.txt", "old content");
  EXPECT_EQ(TFileStream(PathOf("f.txt"), FileModeCreate).Size(), 0);

  WriteFile("g.txt", "keep");
  EXPECT_EQ(MessageOfRaised<EFCreateError>([&] { TFileStream(PathOf("g.txt"), FileModeCreateNew); }),
            u"Cannot create file \"" + PathOf("g.txt") + u"\". The file exists.");
  TFileStream fresh(PathOf("new.txt"), FileModeCreateNew);
  EXPECT_EQ(fresh.Write("x", 1), 1);
}

TEST_F(FileStream, RejectedModeWordsFailNamingTheFullPath) {
  WriteFile("f.txt", "content");
  const String reason = u"\". The parameter is incorrect.";
  EXPECT_EQ(MessageOfRaised<EFOpenError>([&] { TFileStream(PathOf("f.txt"), 0x0003); }),
            u"Cannot open file \"" + PathOf("f.txt") + reason);
  EXPECT_EQ(MessageOfRaised<EFOpenError>([&] { TFileStream(PathOf("f.txt"), 0x0050); }),
            u"Cannot open file \"" + PathOf("f.txt") + reason);
  EXPECT_EQ(MessageOfRaised<EFCreateError>([&] { TFileStream(PathOf("n.txt"), 0xFF50); }),
            u"Cannot create file \"" + PathOf("n.txt") + reason);
  EXPECT_FALSE(std::filesystem::exists(Root() / "n.txt"));
}

TEST_F(FileStream, FailuresReadTheSameOnEveryPlatform) {
  MakeDir("dir");
  const String missingFile = u"Cannot open file \"" + PathOf("missing.txt") + u"\". The system cannot find the file specified.";
  EXPECT_EQ(MessageOfRaised<EFOpenError>([&] { TFileStream(PathOf("missing.txt"), FileModeOpenRead); }), missingFile);
  const std::filesystem::path inMissingDir = std::filesystem::path("no") / "f.txt";
  EXPECT_EQ(MessageOfRaised<EFCreateError>([&] { TFileStream(PathOf(inMissingDir), FileModeCreate); }),
            u"Cannot create file \"" + PathOf(inMissingDir) + u"\". The system cannot find the path specified.");
  EXPECT_EQ(MessageOfRaised<EFOpenError>([&] { TFileStream(PathOf("dir"), FileModeOpenRead); }),
            u"Cannot open file \"" + PathOf("dir") + u"\". Access is denied.");
}

TEST(HandleStream, FailedCallsReportNothingMoved) {
  THandleStream closed(static_cast<THandle>(-1));
  char buffer[4];
  EXPECT_EQ(closed.Read(buffer, 4), 0);
  EXPECT_EQ(closed.Write("abcd", 4), 0);
  EXPECT_EQ(closed.Seek(std::int64_t{0}, TSeekOrigin::soCurrent), -1);
  EXPECT_EQ(MessageOfRaised<EWriteError>([&] { closed.SetSize(std::int64_t{0}); }), u"The handle is invalid.");
}
