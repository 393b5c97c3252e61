#include "rtl/Stream.h"

#include <windows.h>

#include "rtl/Exceptions.h"
#include "rtl/FileSystem_win32.h"
#include "rtl/SystemError.h"

namespace {

HANDLE Win32Handle(THandle handle) { return reinterpret_cast<HANDLE>(handle); }

const wchar_t* Wide(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

DWORD DesiredAccess(TFileOpenMode::TAccess access) {
  switch (access) {
    case TFileOpenMode::TAccess::Read: return GENERIC_READ;
    case TFileOpenMode::TAccess::Write: return GENERIC_WRITE;
    case TFileOpenMode::TAccess::ReadWrite: break;
  }
  return GENERIC_READ | GENERIC_WRITE;
}

DWORD ShareMode(TFileOpenMode::TSharing sharing) {
  switch (sharing) {
    case TFileOpenMode::TSharing::None: return 0;
    case TFileOpenMode::TSharing::Read: return FILE_SHARE_READ;
    case TFileOpenMode::TSharing::Write: return FILE_SHARE_WRITE;
    case TFileOpenMode::TSharing::ReadWrite: break;
  }
  return FILE_SHARE_READ | FILE_SHARE_WRITE;
}

DWORD CreationDisposition(TFileOpenMode::TDisposition disposition) {
  switch (disposition) {
    case TFileOpenMode::TDisposition::OpenExisting: return OPEN_EXISTING;
    case TFileOpenMode::TDisposition::CreateAlways: return CREATE_ALWAYS;
    case TFileOpenMode::TDisposition::CreateNew: break;
  }
  return CREATE_NEW;
}

}  // namespace

std::int32_t THandleStream::Read(void* Buffer, std::int32_t Count) {
  DWORD got = 0;
  if (Count <= 0 || !ReadFile(Win32Handle(FHandle), Buffer, static_cast<DWORD>(Count), &got, nullptr)) return 0;
  return static_cast<std::int32_t>(got);
}

std::int32_t THandleStream::Write(const void* Buffer, std::int32_t Count) {
  DWORD taken = 0;
  if (Count <= 0 || !WriteFile(Win32Handle(FHandle), Buffer, static_cast<DWORD>(Count), &taken, nullptr)) return 0;
  return static_cast<std::int32_t>(taken);
}

std::int64_t THandleStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  // The origins have the values of FILE_BEGIN, FILE_CURRENT and FILE_END.
  LARGE_INTEGER distance, position;
  distance.QuadPart = Offset;
  if (!SetFilePointerEx(Win32Handle(FHandle), distance, &position, static_cast<DWORD>(Origin))) return -1;
  return position.QuadPart;
}

void THandleStream::SetSize(std::int64_t NewSize) {
  // SetEndOfFile cuts at the file pointer: a failed move must not cut anywhere else.
  if (Seek(NewSize, TSeekOrigin::soBeginning) != NewSize || !SetEndOfFile(Win32Handle(FHandle)))
    throw EWriteError(SystemErrorMessage(LastSystemErrorCode()));
}

TFileStream::TFileStream(const String& AFileName, std::uint16_t Mode)
    : THandleStream(reinterpret_cast<THandle>(INVALID_HANDLE_VALUE)) {
  const std::optional<TFileOpenMode> mode = DecodeFileMode(Mode);
  if (!mode)
    RaiseOpenError(Mode, AFileName,
                   SystemFailureText(SystemFailure::InvalidParameter, ERROR_INVALID_PARAMETER));
  const HANDLE handle = CreateFileW(Wide(ExtendedPath(AFileName)), DesiredAccess(mode->Access), ShareMode(mode->Sharing), nullptr,
                                    CreationDisposition(mode->Disposition), FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const int error = LastSystemErrorCode();
    RaiseOpenError(Mode, AFileName, SystemFailureText(ClassifyFileError(error, AFileName), error));
  }
  FHandle = reinterpret_cast<THandle>(handle);
}

TFileStream::~TFileStream() { CloseHandle(Win32Handle(FHandle)); }
