#include "rtl/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "rtl/Exceptions.h"
#include "rtl/SystemError.h"
#include "rtl/Utf8.h"

namespace {

int Descriptor(THandle handle) { return static_cast<int>(handle); }

int OpenFlags(const TFileOpenMode& mode) {
  // Sharing has no meaning for open(2); the words that the mode table rejects were refused
  // before.
  int flags = O_CLOEXEC;
  switch (mode.Access) {
    case TFileOpenMode::TAccess::Read: flags |= O_RDONLY; break;
    case TFileOpenMode::TAccess::Write: flags |= O_WRONLY; break;
    case TFileOpenMode::TAccess::ReadWrite: flags |= O_RDWR; break;
  }
  switch (mode.Disposition) {
    case TFileOpenMode::TDisposition::OpenExisting: break;
    case TFileOpenMode::TDisposition::CreateAlways: flags |= O_CREAT | O_TRUNC; break;
    case TFileOpenMode::TDisposition::CreateNew: flags |= O_CREAT | O_EXCL; break;
  }
  return flags;
}

bool IsDirectory(int fd) {
  struct stat info {};
  return fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

std::int32_t THandleStream::Read(void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  ssize_t got;
  do got = read(Descriptor(FHandle), Buffer, static_cast<std::size_t>(Count));
  while (got < 0 && errno == EINTR);
  return got < 0 ? 0 : static_cast<std::int32_t>(got);
}

std::int32_t THandleStream::Write(const void* Buffer, std::int32_t Count) {
  if (Count <= 0) return 0;
  ssize_t taken;
  do taken = write(Descriptor(FHandle), Buffer, static_cast<std::size_t>(Count));
  while (taken < 0 && errno == EINTR);
  return taken < 0 ? 0 : static_cast<std::int32_t>(taken);
}

std::int64_t THandleStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
  int whence;
  switch (Origin) {
    case TSeekOrigin::soBeginning: whence = SEEK_SET; break;
    case TSeekOrigin::soCurrent: whence = SEEK_CUR; break;
    case TSeekOrigin::soEnd: whence = SEEK_END; break;
    default: return -1;
  }
  return lseek(Descriptor(FHandle), Offset, whence);
}

void THandleStream::SetSize(std::int64_t NewSize) {
  if (ftruncate(Descriptor(FHandle), NewSize) != 0) throw EWriteError(SystemErrorMessage(errno));
  Seek(NewSize, TSeekOrigin::soBeginning);
}

TFileStream::TFileStream(const String& AFileName, std::uint16_t Mode) : THandleStream(0) {
  const std::optional<TFileOpenMode> mode = DecodeFileMode(Mode);
  if (!mode)
    RaiseOpenError(Mode, AFileName, SystemFailureText(SystemFailure::InvalidParameter, EINVAL));
  const int fd = open(StringToUtf8Bytes(AFileName).c_str(), OpenFlags(*mode), 0666);
  int error = errno;
  // Windows refuses to open a directory as a file; open(2) lets a read-only one through.
  if (fd >= 0 && IsDirectory(fd)) {
    close(fd);
    error = EISDIR;
  } else if (fd >= 0) {
    FHandle = static_cast<THandle>(fd);
    return;
  }
  RaiseOpenError(Mode, AFileName, SystemFailureText(ClassifyFileError(error, AFileName), error));
}

TFileStream::~TFileStream() { close(Descriptor(FHandle)); }
