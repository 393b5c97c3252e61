#include "support/StdOutRedirection.h"

#include <windows.h>

#include <cstdlib>

#include "support/TempFile.h"

// Windows has no device that is always full, and a console is no terminal.
TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) {
  HANDLE replacement = nullptr, reader = nullptr;
  if (target == TStdOutTarget::File) replacement = reinterpret_cast<HANDLE>(fCapture = OpenTemporaryFile());
  if (target == TStdOutTarget::BrokenPipe) {
    if (!CreatePipe(&reader, &replacement, nullptr, 0)) std::abort();
    CloseHandle(reader);
    fCapture = reinterpret_cast<std::intptr_t>(replacement);  // closed with the object, read as empty
  }
  if (target == TStdOutTarget::DiskFull || target == TStdOutTarget::Terminal) return;
  fSaved = reinterpret_cast<std::intptr_t>(GetStdHandle(STD_OUTPUT_HANDLE));
  SetStdHandle(STD_OUTPUT_HANDLE, replacement);
}

std::string TStdOutRedirection::Text() {
  if (fSaved != -1) SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(fSaved));
  fSaved = -1;
  const std::string text = fCapture != -1 ? ReadFromStart(fCapture) : std::string();
  if (fCapture != -1) CloseHandle(reinterpret_cast<HANDLE>(fCapture));
  fCapture = -1;
  return text;
}
