#include "rtl/SystemError.h"

#include "rtl/Format.h"

String SystemFailureText(SystemFailure failure, int code) {
  // The wording is the one Windows uses, so both builds read as Windows users know them.
  switch (failure) {
    case SystemFailure::FileNotFound: return u"The system cannot find the file specified.";
    case SystemFailure::PathNotFound: return u"The system cannot find the path specified.";
    case SystemFailure::TooManyOpenFiles: return u"The system cannot open the file.";
    case SystemFailure::AccessDenied: return u"Access is denied.";
    case SystemFailure::InvalidHandle: return u"The handle is invalid.";
    case SystemFailure::NotEnoughMemory:
      return u"Not enough memory resources are available to process this command.";
    case SystemFailure::WriteProtected: return u"The media is write protected.";
    case SystemFailure::SharingViolation:
      return u"The process cannot access the file because it is being used by another process.";
    case SystemFailure::FileExists: return u"The file exists.";
    case SystemFailure::InvalidParameter: return u"The parameter is incorrect.";
    case SystemFailure::DiskFull: return u"There is not enough space on the disk.";
    case SystemFailure::NameTooLong: return u"The filename or extension is too long.";
    case SystemFailure::DirectoryNotEmpty: return u"The directory is not empty.";
    case SystemFailure::NotSameDevice: return u"The system cannot move the file to a different disk drive.";
    case SystemFailure::BrokenPipe: return u"The pipe has been ended.";
    case SystemFailure::NotSupported: return u"The request is not supported.";
    case SystemFailure::DeviceError:
      return u"The request could not be performed because of an I/O device error.";
    case SystemFailure::SeekOnDevice: return u"The file pointer cannot be set on the specified device or file.";
    case SystemFailure::CannotResolveName: return u"The name of the file cannot be resolved by the system.";
    case SystemFailure::FileTooLarge: return u"The file size exceeds the limit allowed and cannot be saved.";
    case SystemFailure::Other: break;
  }
  return Format(u"System error %d.", {std::int64_t{code}});
}

String SystemErrorMessage(int code) { return SystemFailureText(ClassifySystemError(code), code); }
