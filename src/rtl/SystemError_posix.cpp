#include "rtl/SystemError.h"

#include <cerrno>

#include "rtl/FileSystem.h"

namespace {

struct ErrorKind {
  int code;
  SystemFailure failure;
};

// errno values, sorted into the kinds that Windows reports for the same failure: a
// directory cannot be opened as a file there (EISDIR), and a file in its way makes a path
// missing (ENOTDIR).
constexpr ErrorKind ErrorKinds[] = {
    {ENOENT, SystemFailure::FileNotFound},        {ENOTDIR, SystemFailure::PathNotFound},
    {EMFILE, SystemFailure::TooManyOpenFiles},    {ENFILE, SystemFailure::TooManyOpenFiles},
    {EACCES, SystemFailure::AccessDenied},        {EPERM, SystemFailure::AccessDenied},
    {EISDIR, SystemFailure::AccessDenied},        {EBADF, SystemFailure::InvalidHandle},
    {ENOMEM, SystemFailure::NotEnoughMemory},     {EROFS, SystemFailure::WriteProtected},
    {EBUSY, SystemFailure::SharingViolation},     {ETXTBSY, SystemFailure::SharingViolation},
    {EEXIST, SystemFailure::FileExists},          {EINVAL, SystemFailure::InvalidParameter},
    {ENOSPC, SystemFailure::DiskFull},            {EDQUOT, SystemFailure::DiskFull},
    {ENAMETOOLONG, SystemFailure::NameTooLong},   {ENOTEMPTY, SystemFailure::DirectoryNotEmpty},
    {EXDEV, SystemFailure::NotSameDevice},        {EPIPE, SystemFailure::BrokenPipe},
    {ENOTSUP, SystemFailure::NotSupported},       {EOPNOTSUPP, SystemFailure::NotSupported},
    {ENOSYS, SystemFailure::NotSupported},        {EIO, SystemFailure::DeviceError},
    {ESPIPE, SystemFailure::SeekOnDevice},        {ELOOP, SystemFailure::CannotResolveName},
    {EFBIG, SystemFailure::FileTooLarge},
};

// The directory part of a file name; "." for a bare name, "/" for a name in the root.
String DirectoryOf(const String& fileName) {
  const std::size_t delimiter = fileName.find_last_of(u'/');
  if (delimiter == String::npos) return u".";
  return delimiter == 0 ? u"/" : fileName.substr(0, delimiter);
}

}  // namespace

int LastSystemErrorCode() { return errno; }

SystemFailure ClassifySystemError(int code) {
  for (const ErrorKind& kind : ErrorKinds)
    if (kind.code == code) return kind.failure;
  return SystemFailure::Other;
}

SystemFailure ClassifyFileError(int code, const String& FileName) {
  if (code == ENOENT && !DirectoryExists(DirectoryOf(FileName)))
    return SystemFailure::PathNotFound;
  return ClassifySystemError(code);
}
