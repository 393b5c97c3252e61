#pragma once
// Byte streams: the abstract stream, a stream over an open platform handle, and a file
// stream opened by name.

#include <cstdint>
#include <optional>

#include "rtl/String.h"

enum class TSeekOrigin : std::uint16_t { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// An abstract byte stream with one position.
class TStream {
public:
  TStream() = default;
  TStream(const TStream&) = delete;
  TStream& operator=(const TStream&) = delete;
  virtual ~TStream() = default;

  // Reads up to Count bytes; returns how many came (fewer at the end of the data, 0 for a
  // Count below 1).
  virtual std::int32_t Read(void* Buffer, std::int32_t Count) = 0;
  // Writes up to Count bytes; returns how many were taken.
  virtual std::int32_t Write(const void* Buffer, std::int32_t Count) = 0;

  // Moves the position by Offset from Origin (soBeginning, soCurrent, soEnd) and returns the
  // new position. The 32-bit form goes to the 64-bit one and returns the low 32 bits.
  virtual std::int32_t Seek(std::int32_t Offset, std::uint16_t Origin);
  virtual std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) = 0;

  // Makes the stream NewSize bytes long. The 32-bit form goes to the 64-bit one.
  virtual void SetSize(std::int32_t NewSize);
  virtual void SetSize(std::int64_t NewSize) = 0;

  // The size, found by seeking to the end and back; the position is unchanged.
  virtual std::int64_t GetSize();
  std::int64_t Size() { return GetSize(); }

  std::int64_t Position() { return Seek(std::int64_t{0}, TSeekOrigin::soCurrent); }
  void SetPosition(std::int64_t Value) { Seek(Value, TSeekOrigin::soBeginning); }

  // Read or Write until all Count bytes have moved; a call that moves nothing raises
  // EReadError or EWriteError.
  void ReadBuffer(void* Buffer, std::int32_t Count);
  void WriteBuffer(const void* Buffer, std::int32_t Count);
};

// A platform handle: a HANDLE on Windows, a file descriptor on POSIX.
using THandle = std::uintptr_t;

// A stream over a handle that is already open and stays the caller's: the stream does not
// close it. A read or write that fails reports 0 bytes; a handle that cannot seek (a pipe,
// a console) reports the position -1.
class THandleStream : public TStream {
public:
  explicit THandleStream(THandle AHandle) : FHandle(AHandle) {}

  THandle Handle() const { return FHandle; }

  std::int32_t Read(void* Buffer, std::int32_t Count) override;
  std::int32_t Write(const void* Buffer, std::int32_t Count) override;
  using TStream::Seek;
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  using TStream::SetSize;
  // Moves to NewSize and ends the file there; raises EWriteError with the platform's
  // message when the file cannot be resized.
  void SetSize(std::int64_t NewSize) override;

protected:
  THandle FHandle;
};

// How a 16-bit file mode word opens a file. A high byte of 0xFF creates the file (read and
// write access; bit 0x0004 refuses an existing file, otherwise an existing file is emptied;
// a low byte of 0xFF shares nothing); any other word opens an existing file with the access
// of bits 0 and 1 (0 read, 1 write, 2 both). Bits 4 to 7 give the sharing: 0x00 and 0x10
// none, 0x20 read, 0x30 write, 0x40 both.
struct TFileOpenMode {
  enum class TAccess { Read, Write, ReadWrite };
  enum class TDisposition { OpenExisting, CreateAlways, CreateNew };
  enum class TSharing { None, Read, Write, ReadWrite };

  TAccess Access;
  TDisposition Disposition;
  TSharing Sharing;
};

// Mode words: one create or open word, or-ed with one sharing word.
constexpr std::uint16_t FileModeCreate = 0xFF00;
constexpr std::uint16_t FileModeCreateNew = 0xFF04;
constexpr std::uint16_t FileModeOpenRead = 0x0000;
constexpr std::uint16_t FileModeOpenWrite = 0x0001;
constexpr std::uint16_t FileModeOpenReadWrite = 0x0002;
constexpr std::uint16_t FileShareNone = 0x0010;
constexpr std::uint16_t FileShareRead = 0x0020;
constexpr std::uint16_t FileShareWrite = 0x0030;
constexpr std::uint16_t FileShareReadWrite = 0x0040;

// True when Mode creates its file rather than opening it.
bool IsCreateMode(std::uint16_t Mode);
// The way Mode opens a file; empty for the words that cannot open one (access 3, sharing
// 0x50 and above).
std::optional<TFileOpenMode> DecodeFileMode(std::uint16_t Mode);

// A file opened or created by name with a mode word (see TFileOpenMode), closed when the
// stream is freed. A file that cannot be opened raises EFOpenError, one that cannot be
// created EFCreateError; both name the file's full path and give the platform's reason.
// New files get the platform's default permissions.
class TFileStream : public THandleStream {
public:
  TFileStream(const String& AFileName, std::uint16_t Mode);
  ~TFileStream() override;

private:
  // Raises EFCreateError for a create mode, EFOpenError for any other, naming the file's
  // full path.
  [[noreturn]] static void RaiseOpenError(std::uint16_t Mode, const String& FileName, const String& Reason);
};
