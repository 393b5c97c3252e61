#include "rtl/Stream.h"

#include <cstddef>

#include "rtl/Exceptions.h"
#include "rtl/FileSystem.h"
#include "rtl/Format.h"

std::int32_t TStream::Seek(std::int32_t Offset, std::uint16_t Origin) {
  return static_cast<std::int32_t>(Seek(std::int64_t{Offset}, static_cast<TSeekOrigin>(Origin)));
}

void TStream::SetSize(std::int32_t NewSize) { SetSize(std::int64_t{NewSize}); }

std::int64_t TStream::GetSize() {
  const std::int64_t position = Seek(std::int64_t{0}, TSeekOrigin::soCurrent);
  const std::int64_t size = Seek(std::int64_t{0}, TSeekOrigin::soEnd);
  Seek(position, TSeekOrigin::soBeginning);
  return size;
}

void TStream::ReadBuffer(void* Buffer, std::int32_t Count) {
  auto* next = static_cast<std::byte*>(Buffer);
  while (Count > 0) {
    const std::int32_t moved = Read(next, Count);
    if (moved <= 0) throw EReadError();
    next += moved;
    Count -= moved;
  }
}

void TStream::WriteBuffer(const void* Buffer, std::int32_t Count) {
  const auto* next = static_cast<const std::byte*>(Buffer);
  while (Count > 0) {
    const std::int32_t moved = Write(next, Count);
    if (moved <= 0) throw EWriteError();
    next += moved;
    Count -= moved;
  }
}

bool IsCreateMode(std::uint16_t Mode) { return (Mode & 0xFF00) == 0xFF00; }

std::optional<TFileOpenMode> DecodeFileMode(std::uint16_t Mode) {
  using enum TFileOpenMode::TSharing;
  constexpr TFileOpenMode::TSharing SharingOfBits[] = {None, None, Read, Write, ReadWrite};

  TFileOpenMode result{};
  unsigned low = Mode & 0xFFu;
  if (IsCreateMode(Mode)) {
    if (low == 0xFF) low = 0x10;  // all bits set is the old way of saying "share nothing"
    result.Access = TFileOpenMode::TAccess::ReadWrite;
    result.Disposition = (low & 0x04) != 0 ? TFileOpenMode::TDisposition::CreateNew
                                           : TFileOpenMode::TDisposition::CreateAlways;
  } else {
    const unsigned access = low & 0x03;
    if (access == 3) return std::nullopt;
    result.Access = static_cast<TFileOpenMode::TAccess>(access);
    result.Disposition = TFileOpenMode::TDisposition::OpenExisting;
  }
  const unsigned sharing = (low & 0xF0) >> 4;
  if (sharing >= std::size(SharingOfBits)) return std::nullopt;
  result.Sharing = SharingOfBits[sharing];
  return result;
}

void TFileStream::RaiseOpenError(std::uint16_t Mode, const String& FileName, const String& Reason) {
  const String expanded = ExpandFileName(FileName);
  const String& FullName = expanded.empty() ? FileName : expanded;
  if (IsCreateMode(Mode)) throw EFCreateError(Format(u"Cannot create file \"%s\". %s", {FullName, Reason}));
  throw EFOpenError(Format(u"Cannot open file \"%s\". %s", {FullName, Reason}));
}
