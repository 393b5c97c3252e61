#include "support/StdOutRedirection.h"

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/TempFile.h"

TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) {
  std::fflush(stdout);
  fSaved = dup(STDOUT_FILENO);
  int fds[2] = {-1, -1};
  switch (target) {
    case TStdOutTarget::File: fds[1] = dup(static_cast<int>(fCapture = OpenTemporaryFile())); break;
    case TStdOutTarget::Closed: close(STDOUT_FILENO); return;
    case TStdOutTarget::BrokenPipe:
      if (pipe(fds) == 0) close(fds[0]);
      break;
    case TStdOutTarget::DiskFull: fds[1] = open("/dev/full", O_WRONLY); break;
    case TStdOutTarget::Terminal:
      // Raw, so that the master shows the bytes as written; it must not block when read.
      termios raw{};
      cfmakeraw(&raw);
      if (openpty(&fds[0], &fds[1], nullptr, &raw, nullptr) != 0) std::abort();
      fcntl(fds[0], F_SETFL, O_NONBLOCK);
      fCapture = fds[0];
      break;
  }
  if (fds[1] < 0) std::abort();
  dup2(fds[1], STDOUT_FILENO);
  close(fds[1]);
}

std::string TStdOutRedirection::Text() {
  if (fSaved != -1) dup2(static_cast<int>(fSaved), STDOUT_FILENO), close(static_cast<int>(fSaved));
  fSaved = -1;
  // A terminal's master reads up to EAGAIN (nothing more) or EIO (no slave left).
  const std::string text = fCapture != -1 ? ReadFromStart(fCapture) : std::string();
  if (fCapture != -1) close(static_cast<int>(fCapture));
  fCapture = -1;
  return text;
}
