#include "support/StdOutRedirection.h"

#include <windows.h>

#include <cstdlib>

namespace {

HANDLE Handle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

std::intptr_t Value(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

HANDLE CreateTemporaryFile() {
  wchar_t directory[MAX_PATH + 1];
  wchar_t name[MAX_PATH + 1];
  if (GetTempPathW(MAX_PATH + 1, directory) == 0 || GetTempFileNameW(directory, L"tmk", 0, name) == 0) std::abort();
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

}  // namespace

TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) {
  HANDLE replacement = nullptr;
  switch (target) {
    case TStdOutTarget::File:
      replacement = CreateTemporaryFile();
      if (replacement == INVALID_HANDLE_VALUE) std::abort();
      fCapture = Value(replacement);
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
  std::string text;
  if (fCapture == -1 || GetFileType(Handle(fCapture)) != FILE_TYPE_DISK) return text;
  SetFilePointer(Handle(fCapture), 0, nullptr, FILE_BEGIN);
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(Handle(fCapture), buffer, sizeof buffer, &count, nullptr) && count > 0) text.append(buffer, count);
  return text;
}
