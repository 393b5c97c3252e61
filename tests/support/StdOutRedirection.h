#pragma once
// Points standard output elsewhere for the object's life; the test framework must print nothing meanwhile.

#include "support/TempFile.h"

// File: Text() returns what was written. DiskFull and Terminal (a raw pseudo-terminal whose
// output Text() returns) are POSIX only.
enum class TStdOutTarget { File, Closed, DiskFull, Terminal };

class TStdOutRedirection {
public:
  explicit TStdOutRedirection(TStdOutTarget target);
  ~TStdOutRedirection() { Text(); }
  TStdOutRedirection(const TStdOutRedirection&) = delete;

  bool Supported() const { return fSaved != -1; }  // when not, nothing was redirected
  // Puts standard output back and returns what was captured; holders of the output must be gone.
  std::string Text();

private:
  std::intptr_t fSaved = -1, fCapture = -1;
};
