#include "support/StdOutRedirection.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "support/TempFile.h"

TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) : fTarget(target) {
  std::fflush(stdout);
  fSaved = dup(STDOUT_FILENO);
  int targetFd = -1, fds[2] = {-1, -1};
  termios settings{};
  switch (target) {
    case TStdOutTarget::File:
      fCapture = OpenTemporaryFile();
      targetFd = dup(static_cast<int>(fCapture));
      break;
    case TStdOutTarget::Closed: close(STDOUT_FILENO); return;
    case TStdOutTarget::BrokenPipe:
      if (pipe(fds) == 0) close(fds[0]);
      targetFd = fds[1];
      break;
    case TStdOutTarget::DiskFull: targetFd = open("/dev/full", O_WRONLY); break;
    case TStdOutTarget::Terminal:
      // Without line discipline, so that the master shows the bytes as written.
      if (openpty(&fds[0], &targetFd, nullptr, nullptr, nullptr) != 0) std::abort();
      tcgetattr(targetFd, &settings);
      cfmakeraw(&settings);
      tcsetattr(targetFd, TCSANOW, &settings);
      fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
      fCapture = fds[0];
      break;
  }
  if (targetFd < 0) std::abort();
  dup2(targetFd, STDOUT_FILENO);
  close(targetFd);
}

TStdOutRedirection::~TStdOutRedirection() {
  Restore();
  if (fCapture >= 0) close(static_cast<int>(fCapture));
}

void TStdOutRedirection::Restore() {
  if (fRestored) return;
  fRestored = true;
  dup2(static_cast<int>(fSaved), STDOUT_FILENO);
  close(static_cast<int>(fSaved));
}

std::string TStdOutRedirection::Text() {
  Restore();
  // A terminal's master, which does not block, reads up to EAGAIN (nothing more) or EIO (no
  // slave left).
  const bool captured = fTarget == TStdOutTarget::File || fTarget == TStdOutTarget::Terminal;
  return captured ? ReadFromStart(fCapture) : std::string();
}
