#include <fcntl.h>
#include <pty.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "support/StdOutRedirection.h"

std::intptr_t OpenTemporaryFile() {
  const int fd = memfd_create("tidemark-capture", 0);
  return fd < 0 ? (std::abort(), -1) : fd;
}

// A terminal's master reads up to EAGAIN (nothing more) or EIO (no slave left).
std::string ReadFromStart(std::intptr_t file) {
  std::string text;
  char buffer[4096];
  lseek(static_cast<int>(file), 0, SEEK_SET);
  for (ssize_t count; (count = read(static_cast<int>(file), buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(count));
  return text;
}

void CloseTemporaryFile(std::intptr_t file) { close(static_cast<int>(file)); }

TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) {
  std::fflush(stdout);
  fSaved = dup(STDOUT_FILENO);
  int output = -1, master = -1;
  termios raw{};
  cfmakeraw(&raw);  // so that the master shows the bytes as written
  if (target == TStdOutTarget::File) output = dup(static_cast<int>(fCapture = OpenTemporaryFile()));
  if (target == TStdOutTarget::DiskFull) output = open("/dev/full", O_WRONLY);
  if (target == TStdOutTarget::Terminal && openpty(&master, &output, nullptr, &raw, nullptr) == 0)
    fcntl(static_cast<int>(fCapture = master), F_SETFL, O_NONBLOCK);
  if (target != TStdOutTarget::Closed && output < 0) std::abort();
  target == TStdOutTarget::Closed ? close(STDOUT_FILENO) : (dup2(output, STDOUT_FILENO), close(output));
}

std::string TStdOutRedirection::Text() {
  if (fSaved != -1) dup2(static_cast<int>(fSaved), STDOUT_FILENO), CloseTemporaryFile(std::exchange(fSaved, -1));
  const std::string text = fCapture != -1 ? ReadFromStart(fCapture) : std::string();
  CloseTemporaryFile(std::exchange(fCapture, -1));
  return text;
}
