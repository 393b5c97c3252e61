#include "rtl/SystemError.h"

#include <windows.h>

namespace {

struct ErrorKind {
  DWORD code;
  SystemFailure failure;
};

constexpr ErrorKind ErrorKinds[] = {
    {ERROR_FILE_NOT_FOUND, SystemFailure::FileNotFound},
    {ERROR_PATH_NOT_FOUND, SystemFailure::PathNotFound},
    {ERROR_TOO_MANY_OPEN_FILES, SystemFailure::TooManyOpenFiles},
    {ERROR_ACCESS_DENIED, SystemFailure::AccessDenied},
    {ERROR_INVALID_HANDLE, SystemFailure::InvalidHandle},
    {ERROR_NOT_ENOUGH_MEMORY, SystemFailure::NotEnoughMemory},
    {ERROR_OUTOFMEMORY, SystemFailure::NotEnoughMemory},
    {ERROR_WRITE_PROTECT, SystemFailure::WriteProtected},
    {ERROR_SHARING_VIOLATION, SystemFailure::SharingViolation},
    {ERROR_FILE_EXISTS, SystemFailure::FileExists},
    {ERROR_ALREADY_EXISTS, SystemFailure::FileExists},
    {ERROR_INVALID_PARAMETER, SystemFailure::InvalidParameter},
    {ERROR_DISK_FULL, SystemFailure::DiskFull},
    {ERROR_HANDLE_DISK_FULL, SystemFailure::DiskFull},
    {ERROR_FILENAME_EXCED_RANGE, SystemFailure::NameTooLong},
    {ERROR_DIR_NOT_EMPTY, SystemFailure::DirectoryNotEmpty},
    {ERROR_NOT_SAME_DEVICE, SystemFailure::NotSameDevice},
    {ERROR_BROKEN_PIPE, SystemFailure::BrokenPipe},
    {ERROR_NO_DATA, SystemFailure::BrokenPipe},
    {ERROR_NOT_SUPPORTED, SystemFailure::NotSupported},
    {ERROR_IO_DEVICE, SystemFailure::DeviceError},
    {ERROR_SEEK_ON_DEVICE, SystemFailure::SeekOnDevice},
    {ERROR_CANT_RESOLVE_FILENAME, SystemFailure::CannotResolveName},
    {ERROR_FILE_TOO_LARGE, SystemFailure::FileTooLarge},
};

}  // namespace

int LastSystemErrorCode() { return static_cast<int>(GetLastError()); }

SystemFailure ClassifySystemError(int code) {
  for (const ErrorKind& kind : ErrorKinds)
    if (kind.code == static_cast<DWORD>(code)) return kind.failure;
  return SystemFailure::Other;
}

// Windows already tells a missing directory from a missing file.
SystemFailure ClassifyFileError(int code, const String&) { return ClassifySystemError(code); }
