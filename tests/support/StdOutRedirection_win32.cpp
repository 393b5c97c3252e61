#include "support/StdOutRedirection.h"

#include <windows.h>

#include <cstdlib>

#include "support/TempFile.h"

namespace {

HANDLE Handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

std::intptr_t Value(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

}  // namespace

TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) : fTarget(target) {
  HANDLE replacement = nullptr;
  switch (target) {
    case TStdOutTarget::File:
      fCapture = OpenTemporaryFile();
      replacement = Handle(fCapture);
      break;
    case TStdOutTarget::Closed:
      break;
    case TStdOutTarget::BrokenPipe: {
      HANDLE reader = nullptr;
      if (!CreatePipe(&reader, &replacement, nullptr, 0)) std::abort();
      CloseHandle(reader);
      fCapture = Value(replacement);  // closed with the object
      break;
    }
    case TStdOutTarget::DiskFull:
    case TStdOutTarget::Terminal:
      fSupported = false;
      fRestored = true;
      return;
  }
  fSaved = Value(GetStdHandle(STD_OUTPUT_HANDLE));
  SetStdHandle(STD_OUTPUT_HANDLE, replacement);
}

TStdOutRedirection::~TStdOutRedirection() {
  Restore();
  if (fCapture != -1) CloseHandle(Handle(fCapture));
}

void TStdOutRedirection::Restore() {
  if (fRestored) return;
  fRestored = true;
  SetStdHandle(STD_OUTPUT_HANDLE, Handle(fSaved));
}

std::string TStdOutRedirection::Text() {
  Restore();
  return fTarget == TStdOutTarget::File ? ReadFromStart(fCapture) : std::string();
}
