#pragma once
// A broken invariant aborts, so that libFuzzer keeps the input; the scratch file lives in memory.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "rtl/Utf8.h"

inline void Check(bool condition, const char* invariant) {
  if (!condition) std::fprintf(stderr, "Invariant broken: %s\n", invariant), std::abort();
}

// The name of the scratch file, made to hold Size bytes of Data.
inline String ScratchFile(const unsigned char* data, std::size_t size) {
  static const int fd = memfd_create("tidemark-fuzz", 0);
  Check(ftruncate(fd, 0) == 0 && pwrite(fd, data, size, 0) == static_cast<ssize_t>(size), "the scratch file is made");
  return Utf8BytesToString("/proc/self/fd/" + std::to_string(fd));
}
