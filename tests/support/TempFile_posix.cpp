#include "support/TempFile.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>

std::intptr_t OpenTemporaryFile() {
  const int fd = memfd_create("tidemark-capture", 0);
  if (fd < 0) std::abort();
  return fd;
}

std::string ReadFromStart(std::intptr_t file) {
  const int fd = static_cast<int>(file);
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char buffer[4096];
  ssize_t count;
  while ((count = read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(count));
  return text;
}

void CloseTemporaryFile(std::intptr_t file) { close(static_cast<int>(file)); }
