#pragma once
// Points the process's standard output elsewhere for the life of the object, so that code
// writing to it can be watched; nothing the test framework prints may happen meanwhile.

#include "support/TempFile.h"

enum class TStdOutTarget {
  File,      // a temporary file; Text() returns what was written
  Closed,    // no standard output at all
  DiskFull,  // a device that is always full (POSIX only)
  Terminal   // a pseudo-terminal in raw mode; Text() returns what reached it (POSIX only)
};

class TStdOutRedirection {
public:
  explicit TStdOutRedirection(TStdOutTarget target);
  ~TStdOutRedirection() { Text(); }
  TStdOutRedirection(const TStdOutRedirection&) = delete;
  TStdOutRedirection& operator=(const TStdOutRedirection&) = delete;

  // Whether the platform offers the target; when not, nothing was redirected.
  bool Supported() const { return fSaved != -1; }
  // Puts standard output back and returns what was captured. Objects still holding the
  // redirected output must be gone before.
  std::string Text();

private:
  std::intptr_t fSaved = -1;
  std::intptr_t fCapture = -1;
};
