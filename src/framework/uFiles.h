#pragma once
// A read-write buffered stream over another stream, and a text stream built on it that
// detects, reads and writes the encodings of text files.

#include <cstdint>
#include <memory>

#include "rtl/Stream.h"
#include "rtl/String.h"

// Serves reads and writes from one in-memory window of the inner stream's bytes, so that
// small transfers become few large ones. Seeking only moves the logical position; the inner
// stream is positioned when bytes must move. A dirty window is written back at its own
// position before the window moves, on Flush, on SetSize and when the stream is freed.
class TBufferedStream : public TStream {
public:
  static constexpr std::int32_t DefaultBufferSize = 16384;

  // AStream is freed with this stream when AOwnsStream is true. ABufferSize is the window's
  // capacity; with 0 every transfer goes straight to the inner stream.
  TBufferedStream(TStream* AStream, std::int32_t ABufferSize, bool AOwnsStream);
  TBufferedStream(TStream* AStream, bool AOwnsStream);
  // Flushes, then frees an owned inner stream. A destructor cannot report a failed write:
  // call Flush first to see it.
  ~TBufferedStream() override;

  // At most one inner read per call; fewer bytes than Count when that read is short. Reads
  // larger than the window bypass it.
  std::int32_t Read(void* OutBuffer, std::int32_t Count) override;
  // Takes the whole Count into the window, or writes straight through when Count is larger
  // than the window (then the inner stream's result tells).
  std::int32_t Write(const void* InBuffer, std::int32_t Count) override;
  using TStream::Seek;
  // Moves the logical position only; soEnd counts from the inner stream's present size.
  std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
  using TStream::SetSize;
  // Flushes and empties the window, resizes the inner stream and stands where it stands.
  void SetSize(std::int64_t NewSize) override;

  // Writes a dirty window at its own position (EWriteError when the inner stream does not
  // take it all; the window then stays dirty). The window stays loaded.
  virtual void Flush();

protected:
  struct TDeferInitialize {};
  // For descendants: leaves the call of Initialize to the descendant's constructor, which
  // alone can reach its override.
  TBufferedStream(TStream* AStream, std::int32_t ABufferSize, bool AOwnsStream, TDeferInitialize);

  // Called once when construction ends.
  virtual void Initialize();
  // The one place where the logical position moves; every Seek leads here.
  virtual std::int64_t DoSeek(std::int64_t Offset, TSeekOrigin Origin);

  std::int64_t LogicalPosition() const { return FPosition; }
  // The size of what the stream holds: the inner stream's size, extended by bytes written
  // into the window beyond its end and not flushed yet. Moves no position.
  std::int64_t ContentSize();
  // Flush for destructors: a failed write is dropped, as a destructor cannot raise.
  void FlushOnDestruction() noexcept;

private:
  void ResetBuffer();
  void FillBuffer();
  // Marks the window dirty and extends its fill up to the logical position.
  void MarkWritten();
  void PositionInnerStream(std::int64_t Position);

  TStream* FStream;
  bool FOwnsStream;
  std::unique_ptr<std::byte[]> FBuffer;
  std::int32_t FBufferSize;
  std::int64_t FBufferPosition = 0;
  std::int32_t FBufferFill = 0;
  bool FBufferDirty = false;
  std::int64_t FPosition = 0;
};

enum class TFileEncoding : std::uint8_t {
  feAuto,   // undecided: detected by the first read at position 0, or the default on writing
  feANSI,   // the system ANSI code page
  feOEM,    // read as ANSI, written in the system OEM code page
  feUTF16,  // two bytes per code unit, low byte first unless big-endian
  feUTF8
};

// Reads and writes text in one of the encodings of TFileEncoding. Construction over a
// non-empty file detects its encoding (byte-order marks, then the pattern of zero bytes and
// UTF-8 validity over at most 16384 bytes) and stands behind a mark it found. Writing at
// the start of an empty stream puts the encoding's mark first (FF FE for UTF-16, EF BB BF
// for UTF-8). The text stream owns the inner stream its constructor makes.
class TTextStream : public TBufferedStream {
public:
  // Over a handle that stays open and the caller's; position 0 is the start of the file.
  explicit TTextStream(THandle AHandle);
  // Over the file opened with AMode (see TFileOpenMode); EFOpenError or EFCreateError when it
  // cannot be opened.
  TTextStream(const String& AFileName, std::uint16_t AMode);
  // As above with AMode or AShareFlags. When AMode creates and AShareFlags is a bare high
  // byte, the file is then reopened with AShareFlags or 2.
  TTextStream(const String& AFileName, std::uint16_t AMode, std::uint16_t AShareFlags);
  ~TTextStream() override;

  // The next UTF-16 code unit; false at the end of the data. Malformed UTF-8 never fails:
  // each lead byte yields one character. A supplementary character comes in two calls.
  bool ReadChar(Char& Ch);
  // The next line without its line end (CR LF, LF or a lone CR); false with an empty Line
  // when already at the end.
  bool ReadLine(String& Line);
  // True when nothing is left to read.
  bool Eof();
  // S in the stream's encoding; nothing at all for an empty S. An undecided stream first
  // takes DefaultEncoding. Raises EWriteError "Invalid encoding" for an encoding outside
  // TFileEncoding.
  void WriteStr(const String& S);
  // WriteStr(S), then WriteStr(LineSeparator()).
  void WriteLine(const String& S);

  // Raw bytes, no conversion.
  std::int32_t Write(const void* InBuffer, std::int32_t Count) override;
  void Flush() override;

  TFileEncoding Encoding() const { return FEncoding; }
  // Writes the encoding's mark when the stream is empty and stands at 0; on a stream with
  // content it only sets the encoding, so existing bytes are never overwritten.
  void SetEncoding(TFileEncoding Value);
  // The encoding that an undecided stream takes on its first write; feUTF8 at first.
  TFileEncoding DefaultEncoding() const { return FDefaultEncoding; }
  void SetDefaultEncoding(TFileEncoding Value) { FDefaultEncoding = Value; }
  // Written by WriteLine after the text; CR LF at first.
  const String& LineSeparator() const { return FLineSeparator; }
  void SetLineSeparator(const String& Value) { FLineSeparator = Value; }

  // Appends Msg and CR LF to the file FileName and closes it again. An existing non-empty
  // file keeps its own encoding; a new or empty one is written in Encoding, with its mark
  // (UTF-8 with a mark for feAuto). Every failure arrives as an exception, after the file
  // has been closed.
  static void AppendLine(const String& FileName, const String& Msg, TFileEncoding Encoding);

protected:
  void Initialize() override;
  std::int64_t DoSeek(std::int64_t Offset, TSeekOrigin Origin) override;

private:
  void DetectEncoding();
  // Decides the encoding from the content; returns the length of a byte-order mark found,
  // or 0.
  std::int64_t DetectFromContent();
  bool ReadByte(std::uint8_t& Byte);
  bool ReadUtf8Char(Char& Ch);
  bool ReadUtf16Char(Char& Ch);
  RawByteString Encode(const String& S) const;

  TFileEncoding FDefaultEncoding = TFileEncoding::feUTF8;
  TFileEncoding FEncoding = TFileEncoding::feAuto;
  bool FBigEndian = false;
  String FLineSeparator = u"\r\n";
  Char FSecondSurrogatePair = 0;
};
