#include "support/StdOutRedirection.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "support/TempFile.h"

namespace {

int Fd(std::intptr_t value) { return static_cast<int>(value); }

// A pseudo-terminal without line discipline, so its master shows the bytes as written.
int OpenTerminal(int& master) {
  int slave = -1;
  if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return -1;
  termios settings{};
  tcgetattr(slave, &settings);
  cfmakeraw(&settings);
  tcsetattr(slave, TCSANOW, &settings);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  return slave;
}

std::string ReadTerminal(int master) {
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t count = read(master, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    // The master ends with EAGAIN (nothing more) or EIO (every slave closed).
    if (count <= 0) return text;
    text.append(buffer, static_cast<std::size_t>(count));
  }
}

}  // namespace

TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) : fTarget(target) {
  std::fflush(stdout);
  fSaved = dup(STDOUT_FILENO);
  int targetFd = -1;
  switch (target) {
    case TStdOutTarget::File:
      fCapture = OpenTemporaryFile();
      targetFd = dup(Fd(fCapture));
      break;
    case TStdOutTarget::Closed:
      close(STDOUT_FILENO);
      return;
    case TStdOutTarget::BrokenPipe: {
      int fds[2];
      if (pipe(fds) != 0) std::abort();
      close(fds[0]);
      targetFd = fds[1];
      break;
    }
    case TStdOutTarget::DiskFull:
      targetFd = open("/dev/full", O_WRONLY);
      break;
    case TStdOutTarget::Terminal: {
      int master = -1;
      targetFd = OpenTerminal(master);
      fCapture = master;
      break;
    }
  }
  if (targetFd < 0) std::abort();
  dup2(targetFd, STDOUT_FILENO);
  close(targetFd);
}

TStdOutRedirection::~TStdOutRedirection() {
  Restore();
  if (fCapture >= 0) close(Fd(fCapture));
}

void TStdOutRedirection::Restore() {
  if (fRestored) return;
  fRestored = true;
  dup2(Fd(fSaved), STDOUT_FILENO);
  close(Fd(fSaved));
}

std::string TStdOutRedirection::Text() {
  Restore();
  if (fCapture < 0) return {};
  return fTarget == TStdOutTarget::Terminal ? ReadTerminal(Fd(fCapture)) : ReadFromStart(fCapture);
}
