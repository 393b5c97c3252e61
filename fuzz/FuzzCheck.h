#pragma once
// What the fuzz targets share: a broken invariant aborts, so that libFuzzer keeps the input,
// and the scratch file lives in memory, so that no run waits for a disk.

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "rtl/Utf8.h"

inline void Check(bool condition, const char* invariant) {
  if (!condition) std::fprintf(stderr, "Invariant broken: %s\n", invariant), std::abort();
}

// The name under which the units open the scratch file, made to hold Size bytes of Data.
inline String ScratchFile(const unsigned char* data, std::size_t size) {
  static const int fd = memfd_create("tidemark-fuzz", 0);
  Check(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size), "the scratch file is made");
  return Utf8BytesToString("/proc/self/fd/" + std::to_string(fd));
}
