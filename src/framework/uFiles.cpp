#include "framework/uFiles.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "framework/uStrings.h"
#include "rtl/Exceptions.h"
#include "rtl/FileSystem.h"

// ---- TBufferedStream ----

TBufferedStream::TBufferedStream(TStream* AStream, std::int32_t ABufferSize, bool AOwnsStream)
    : TBufferedStream(AStream, ABufferSize, AOwnsStream, TDeferInitialize{}) {
  Initialize();
}

TBufferedStream::TBufferedStream(TStream* AStream, bool AOwnsStream)
    : TBufferedStream(AStream, DefaultBufferSize, AOwnsStream) {}

TBufferedStream::TBufferedStream(TStream* AStream, std::int32_t ABufferSize, bool AOwnsStream, TDeferInitialize)
    : FStream(AStream), FOwnsStream(AOwnsStream), FBufferSize(ABufferSize) {
  // An owned stream must not leak when the window cannot be allocated.
  std::unique_ptr<TStream> owned(AOwnsStream ? AStream : nullptr);
  FBuffer = std::make_unique_for_overwrite<std::byte[]>(static_cast<std::size_t>(ABufferSize));
  owned.release();
  ResetBuffer();
}

TBufferedStream::~TBufferedStream() {
  FlushOnDestruction();
  if (FOwnsStream) delete std::exchange(FStream, nullptr);
}

void TBufferedStream::FlushOnDestruction() noexcept {
  try {
    Flush();
  } catch (const Exception&) {
  }
}

void TBufferedStream::Initialize() {}

void TBufferedStream::ResetBuffer() {
  FBufferPosition = 0;
  FBufferFill = 0;
  FBufferDirty = false;
}

void TBufferedStream::PositionInnerStream(std::int64_t Position) {
  if (FStream->Position() != Position) FStream->SetPosition(Position);
}

void TBufferedStream::FillBuffer() {
  PositionInnerStream(FPosition);
  FBufferPosition = FPosition;
  FBufferFill = std::max(FStream->Read(FBuffer.get(), FBufferSize), 0);
  FBufferDirty = false;
}

void TBufferedStream::MarkWritten() {
  FBufferDirty = true;
  FBufferFill = static_cast<std::int32_t>(std::max<std::int64_t>(FBufferFill, FPosition - FBufferPosition));
}

void TBufferedStream::Flush() {
  if (!FBufferDirty) return;
  PositionInnerStream(FBufferPosition);
  FStream->WriteBuffer(FBuffer.get(), FBufferFill);
  FBufferDirty = false;
}

std::int32_t TBufferedStream::Read(void* OutBuffer, std::int32_t Count) {
  if (Count < 1) return 0;
  auto* out = static_cast<std::byte*>(OutBuffer);
  std::int32_t result = 0;
  const std::int64_t offset = FPosition - FBufferPosition;
  if (offset >= 0 && offset < FBufferFill) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, FBufferFill - offset));
    std::memcpy(out, FBuffer.get() + offset, static_cast<std::size_t>(n));
    FPosition += n;
    result = n;
    Count -= n;
    out += n;
    if (Count < 1) return result;
  }

  Flush();
  ResetBuffer();
  if (Count <= FBufferSize) {
    FillBuffer();
    const std::int32_t n = std::min(Count, FBufferFill);
    if (n > 0) {
      std::memcpy(out, FBuffer.get(), static_cast<std::size_t>(n));
      FPosition += n;
      result += n;
    }
  } else {
    PositionInnerStream(FPosition);
    // Counting the bytes keeps the position right for inner streams that cannot seek.
    const std::int32_t n = std::max(FStream->Read(out, Count), 0);
    FPosition += n;
    result += n;
  }
  return result;
}

std::int32_t TBufferedStream::Write(const void* InBuffer, std::int32_t Count) {
  if (Count < 1) return 0;
  const auto* in = static_cast<const std::byte*>(InBuffer);
  std::int32_t result = 0;
  const std::int64_t offset = FPosition - FBufferPosition;
  // Writing past the fill would leave a gap of bytes that were never read or written, and a
  // flush would put them into the inner stream; such a write loads its own window instead.
  if (offset >= 0 && offset <= FBufferFill && offset < FBufferSize) {
    const auto n = static_cast<std::int32_t>(std::min<std::int64_t>(Count, FBufferSize - offset));
    std::memcpy(FBuffer.get() + offset, in, static_cast<std::size_t>(n));
    FPosition += n;
    result = n;
    Count -= n;
    in += n;
    MarkWritten();
    if (Count < 1) return result;
  }

  Flush();
  ResetBuffer();
  if (Count <= FBufferSize) {
    // Load the window first, so that the bytes after the written ones survive the flush.
    FillBuffer();
    std::memcpy(FBuffer.get(), in, static_cast<std::size_t>(Count));
    FPosition += Count;
    result += Count;
    MarkWritten();
  } else {
    PositionInnerStream(FPosition);
    const std::int32_t n = std::max(FStream->Write(in, Count), 0);
    FPosition += n;
    result += n;
  }
  return result;
}

std::int64_t TBufferedStream::DoSeek(std::int64_t Offset, TSeekOrigin Origin) {
  switch (Origin) {
    case TSeekOrigin::soBeginning: FPosition = Offset; break;
    case TSeekOrigin::soCurrent: FPosition += Offset; break;
    case TSeekOrigin::soEnd: FPosition = FStream->Size() + Offset; break;
  }
  return FPosition;
}

std::int64_t TBufferedStream::Seek(std::int64_t Offset, TSeekOrigin Origin) { return DoSeek(Offset, Origin); }

void TBufferedStream::SetSize(std::int64_t NewSize) {
  Flush();
  ResetBuffer();
  FStream->SetSize(NewSize);
  FPosition = FStream->Position();
}

std::int64_t TBufferedStream::ContentSize() {
  const std::int64_t inner = FStream->Size();
  return FBufferDirty ? std::max(inner, FBufferPosition + FBufferFill) : inner;
}

// ---- TTextStream ----

namespace {

constexpr std::int32_t DetectionSampleSize = 16384;

bool HasHighBit(std::uint8_t byte) { return byte >= 0x80; }

// The encoding of a sample without a byte-order mark: plain ASCII is ANSI; a zero byte at
// every other offset is UTF-16; otherwise UTF-8 when the sample is valid UTF-8 up to its
// final run of high-bit bytes, which may be a character cut off by the sample's end.
TFileEncoding GuessEncoding(std::span<const std::uint8_t> sample, bool& bigEndian) {
  if (std::none_of(sample.begin(), sample.end(), [](std::uint8_t b) { return b == 0 || HasHighBit(b); }))
    return TFileEncoding::feANSI;

  std::int64_t zerosOdd = 0, zerosEven = 0;
  for (std::size_t i = 0; i < sample.size(); ++i)
    if (sample[i] == 0) ++(i % 2 == 1 ? zerosOdd : zerosEven);
  if (zerosOdd > 30 && zerosOdd > 100 * zerosEven) return TFileEncoding::feUTF16;
  if (zerosEven > 30 && zerosEven > 100 * zerosOdd) {
    bigEndian = true;
    return TFileEncoding::feUTF16;
  }

  std::size_t length = sample.size();
  while (length > 0 && HasHighBit(sample[length - 1])) --length;
  if (length > 0 && IsValidUtf8(reinterpret_cast<const char*>(sample.data()), static_cast<int>(length)))
    return TFileEncoding::feUTF8;
  return TFileEncoding::feANSI;
}

struct Utf8Lead {
  char32_t value;
  int continuations;
};

// Lenient: a byte that cannot lead a sequence stands for itself.
Utf8Lead DecodeLeadByte(std::uint8_t lead) {
  if (lead < 0x80) return {lead, 0};
  if (lead >= 0xC0 && lead <= 0xDF) return {lead & 0x1Fu, 1};
  if (lead >= 0xE0 && lead <= 0xEF) return {lead & 0x0Fu, 2};
  if (lead >= 0xF0 && lead <= 0xF7) return {lead & 0x07u, 3};
  if (lead >= 0xF8 && lead <= 0xFB) return {lead & 0x03u, 4};
  if (lead >= 0xFC && lead <= 0xFD) return {lead & 0x01u, 5};
  return {lead, 0};
}

RawByteString Utf16Bytes(const String& text, bool bigEndian) {
  RawByteString bytes;
  bytes.reserve(text.size() * 2);
  for (const Char unit : text) {
    const auto high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

TStream* OpenFileStream(const String& fileName, std::uint16_t mode, std::uint16_t shareFlags) {
  auto stream = std::make_unique<TFileStream>(fileName, static_cast<std::uint16_t>(mode | shareFlags));
  if (IsCreateMode(mode) && shareFlags != 0 && (shareFlags & ~0xFF00) == 0) {
    stream.reset();
    stream = std::make_unique<TFileStream>(fileName, static_cast<std::uint16_t>(shareFlags | FileModeOpenReadWrite));
  }
  return stream.release();
}

}  // namespace

TTextStream::TTextStream(THandle AHandle)
    : TBufferedStream(new THandleStream(AHandle), DefaultBufferSize, true, TDeferInitialize{}) {
  Initialize();
}

TTextStream::TTextStream(const String& AFileName, std::uint16_t AMode)
    : TBufferedStream(new TFileStream(AFileName, AMode), DefaultBufferSize, true, TDeferInitialize{}) {
  Initialize();
}

TTextStream::TTextStream(const String& AFileName, std::uint16_t AMode, std::uint16_t AShareFlags)
    : TBufferedStream(OpenFileStream(AFileName, AMode, AShareFlags), DefaultBufferSize, true, TDeferInitialize{}) {
  Initialize();
}

// The base's destructor would reach only its own Flush.
TTextStream::~TTextStream() { FlushOnDestruction(); }

void TTextStream::Initialize() {
  TBufferedStream::Initialize();
  FDefaultEncoding = TFileEncoding::feUTF8;
  FEncoding = TFileEncoding::feAuto;
  FBigEndian = false;
  FLineSeparator = u"\r\n";
  if (ContentSize() != 0) DetectEncoding();
}

std::int32_t TTextStream::Write(const void* InBuffer, std::int32_t Count) {
  FSecondSurrogatePair = 0;
  return TBufferedStream::Write(InBuffer, Count);
}

void TTextStream::Flush() {
  FSecondSurrogatePair = 0;
  TBufferedStream::Flush();
}

std::int64_t TTextStream::DoSeek(std::int64_t Offset, TSeekOrigin Origin) {
  FSecondSurrogatePair = 0;
  return TBufferedStream::DoSeek(Offset, Origin);
}

void TTextStream::DetectEncoding() {
  FEncoding = TFileEncoding::feANSI;
  FBigEndian = false;
  const std::int64_t start = LogicalPosition();
  std::int64_t markLength;
  try {
    markLength = DetectFromContent();
  } catch (...) {
    SetPosition(start);
    throw;
  }
  SetPosition(markLength != 0 ? markLength : start);
}

std::int64_t TTextStream::DetectFromContent() {
  const std::int64_t size = ContentSize();
  if (size <= 1) return 0;

  std::uint8_t head[3];
  if (size % 2 == 0) {
    SetPosition(0);
    if (Read(head, 2) == 2) {
      if (head[0] == 0xFF && head[1] == 0xFE) {
        FEncoding = TFileEncoding::feUTF16;
        return 2;
      }
      if (head[0] == 0xFE && head[1] == 0xFF) {
        FEncoding = TFileEncoding::feUTF16;
        FBigEndian = true;
        return 2;
      }
    }
  }
  if (size >= 3) {
    SetPosition(0);
    if (Read(head, 3) == 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF) {
      FEncoding = TFileEncoding::feUTF8;
      return 3;
    }
  }

  SetPosition(0);
  std::vector<std::uint8_t> sample(static_cast<std::size_t>(std::min<std::int64_t>(DetectionSampleSize, size)));
  sample.resize(static_cast<std::size_t>(Read(sample.data(), static_cast<std::int32_t>(sample.size()))));
  FEncoding = GuessEncoding(sample, FBigEndian);
  return 0;
}

void TTextStream::SetEncoding(TFileEncoding Value) {
  if (LogicalPosition() == 0 && ContentSize() == 0) {
    if (Value == TFileEncoding::feUTF16) {
      WriteBuffer("\xFF\xFE", 2);
      FBigEndian = false;
    } else if (Value == TFileEncoding::feUTF8) {
      WriteBuffer("\xEF\xBB\xBF", 3);
    }
  }
  FEncoding = Value;
}

bool TTextStream::ReadByte(std::uint8_t& Byte) { return Read(&Byte, 1) == 1; }

bool TTextStream::ReadChar(Char& Ch) {
  if (FEncoding == TFileEncoding::feAuto && LogicalPosition() == 0) DetectEncoding();
  if (FSecondSurrogatePair != 0) {
    Ch = std::exchange(FSecondSurrogatePair, Char{0});
    return true;
  }
  switch (FEncoding) {
    case TFileEncoding::feUTF16: return ReadUtf16Char(Ch);
    case TFileEncoding::feUTF8: return ReadUtf8Char(Ch);
    default: break;
  }
  std::uint8_t byte;
  if (!ReadByte(byte)) return false;
  Ch = HasHighBit(byte) ? AnsiCharToWide(static_cast<char>(byte)) : Char{byte};
  return true;
}

bool TTextStream::ReadUtf16Char(Char& Ch) {
  std::uint8_t bytes[2];
  if (Read(bytes, 2) != 2) return false;
  const std::uint8_t high = FBigEndian ? bytes[0] : bytes[1], low = FBigEndian ? bytes[1] : bytes[0];
  Ch = static_cast<Char>(high << 8 | low);
  return true;
}

bool TTextStream::ReadUtf8Char(Char& Ch) {
  std::uint8_t lead;
  if (!ReadByte(lead)) return false;
  auto [value, continuations] = DecodeLeadByte(lead);
  for (int i = 0; i < continuations; ++i) {
    std::uint8_t next;
    if (!ReadByte(next)) continue;  // cut off by the end: keep what has been collected
    if ((next & 0xC0) != 0x80) {
      // Not a continuation: it leads the next character.
      Seek(std::int64_t{-1}, TSeekOrigin::soCurrent);
      break;
    }
    value = value * 64 + (next & 0x3Fu);
  }

  if (value <= 0xFFFF) {
    Ch = static_cast<Char>(value);
  } else if (value <= 0x10FFFF) {
    const char32_t offset = value - 0x10000;
    Ch = static_cast<Char>(0xD800 + (offset >> 10));
    FSecondSurrogatePair = static_cast<Char>(0xDC00 + (offset & 0x3FF));
  } else {
    Ch = u'?';
  }
  return true;
}

bool TTextStream::ReadLine(String& Line) {
  Line.clear();
  if (Eof()) return false;
  Char ch;
  while (ReadChar(ch)) {
    if (ch == u'\r') {
      // A lone CR ends the line too; whatever follows it belongs to the next line.
      const std::int64_t afterCr = LogicalPosition();
      Char next;
      // Going back also drops a second half that the look-ahead left pending.
      if (ReadChar(next) && next != u'\n') SetPosition(afterCr);
      break;
    }
    if (ch == u'\n') break;
    Line += ch;
  }
  return true;
}

bool TTextStream::Eof() {
  // A pending second half is still to be read, and bytes not flushed yet count as content.
  return FSecondSurrogatePair == 0 && ContentSize() <= LogicalPosition();
}

RawByteString TTextStream::Encode(const String& S) const {
  switch (FEncoding) {
    case TFileEncoding::feAuto:
    case TFileEncoding::feUTF8: return WideToUTF8(S);
    case TFileEncoding::feANSI: return WideToMultiByte(CodePageAnsi, S.data(), static_cast<int>(S.size()));
    case TFileEncoding::feOEM: return AnsiToOem(WideToMultiByte(CodePageAnsi, S.data(), static_cast<int>(S.size())));
    case TFileEncoding::feUTF16: return Utf16Bytes(S, FBigEndian);
  }
  throw EWriteError(u"Invalid encoding");
}

void TTextStream::WriteStr(const String& S) {
  if (S.empty()) return;
  if (FEncoding == TFileEncoding::feAuto) SetEncoding(FDefaultEncoding);
  const RawByteString bytes = Encode(S);
  WriteBuffer(bytes.data(), static_cast<std::int32_t>(bytes.size()));
}

void TTextStream::WriteLine(const String& S) {
  WriteStr(S);
  WriteStr(FLineSeparator);
}

void TTextStream::AppendLine(const String& FileName, const String& Msg, TFileEncoding Encoding) {
  // An existing file may be read by others meanwhile; a new one is not shared at all.
  TTextStream stream(FileName, FileExists(FileName) ? static_cast<std::uint16_t>(FileModeOpenReadWrite | FileShareRead)
                                                    : FileModeCreate);
  if (Encoding != TFileEncoding::feAuto) stream.SetDefaultEncoding(Encoding);
  stream.SetPosition(stream.Size());
  stream.WriteLine(Msg);
  // The destructor cannot report a failed write; flushing here lets it reach the caller.
  stream.Flush();
}
