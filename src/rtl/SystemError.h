#pragma once
// One vocabulary for the failures of the platform's calls: errno values and GetLastError()
// codes are sorted into the same kinds of failure, and each kind has one text, so a failure
// reads the same on every platform.

#include "rtl/String.h"

enum class SystemFailure {
  FileNotFound,
  PathNotFound,
  TooManyOpenFiles,
  AccessDenied,
  InvalidHandle,
  NotEnoughMemory,
  WriteProtected,
  SharingViolation,
  FileExists,
  InvalidParameter,
  DiskFull,
  NameTooLong,
  DirectoryNotEmpty,
  NotSameDevice,
  BrokenPipe,
  NotSupported,
  DeviceError,
  SeekOnDevice,
  CannotResolveName,
  FileTooLarge,
  Other  // a code the vocabulary does not know
};

// The code of the calling thread's last failed platform call: errno, or GetLastError().
int LastSystemErrorCode();

// The kind of failure a platform error code stands for.
SystemFailure ClassifySystemError(int code);

// As ClassifySystemError, for a failure to open or create FileName. A missing file whose
// directory is missing as well is a missing path, as Windows reports it.
SystemFailure ClassifyFileError(int code, const String& FileName);

// The text of a failure, a sentence with its full stop. Other reads "System error %d." with
// Code.
String SystemFailureText(SystemFailure failure, int code);

// The text of a platform error code: SystemFailureText of its kind.
String SystemErrorMessage(int code);
