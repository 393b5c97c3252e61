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
  std::string text;
  char buffer[4096];
  lseek(static_cast<int>(file), 0, SEEK_SET);
  for (ssize_t count; (count = read(static_cast<int>(file), buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(count));
  return text;
}

void CloseTemporaryFile(std::intptr_t file) { close(static_cast<int>(file)); }
