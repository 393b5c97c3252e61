#include "support/StdOutRedirection.h"

#include <windows.h>

#include <cstdlib>

#include "support/TempFile.h"

TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) : fTarget(target) {
  HANDLE replacement = nullptr, reader = nullptr;
  switch (target) {
    case TStdOutTarget::File: replacement = reinterpret_cast<HANDLE>(fCapture = OpenTemporaryFile()); break;
    case TStdOutTarget::Closed: break;
    case TStdOutTarget::BrokenPipe:
      if (!CreatePipe(&reader, &replacement, nullptr, 0)) std::abort();
      CloseHandle(reader);
      fCapture = reinterpret_cast<std::intptr_t>(replacement);  // closed with the object
      break;
    case TStdOutTarget::DiskFull:
    case TStdOutTarget::Terminal:
      fSupported = false;
      fRestored = true;
      return;
  }
  fSaved = reinterpret_cast<std::intptr_t>(GetStdHandle(STD_OUTPUT_HANDLE));
  SetStdHandle(STD_OUTPUT_HANDLE, replacement);
}

TStdOutRedirection::~TStdOutRedirection() {
  Restore();
  if (fCapture != -1) CloseHandle(reinterpret_cast<HANDLE>(fCapture));
}

void TStdOutRedirection::Restore() {
  if (fRestored) return;
  fRestored = true;
  SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(fSaved));
}

std::string TStdOutRedirection::Text() {
  Restore();
  return fTarget == TStdOutTarget::File ? ReadFromStart(fCapture) : std::string();
}
