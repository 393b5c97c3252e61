#include <windows.h>

#include <cstdlib>
#include <filesystem>

#include "support/StdOutRedirection.h"

std::intptr_t OpenTemporaryFile() {
  wchar_t name[MAX_PATH + 1];  // the size GetTempFileNameW writes at most
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (GetTempFileNameW(std::filesystem::temp_directory_path().c_str(), L"tmk", 0, name) == 0) std::abort();
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, sharing,
                                  &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                  nullptr);
  return file == INVALID_HANDLE_VALUE ? (std::abort(), -1) : reinterpret_cast<std::intptr_t>(file);
}

std::string ReadFromStart(std::intptr_t file) {
  std::string text;
  char buffer[4096];
  DWORD count = 0;
  SetFilePointer(reinterpret_cast<HANDLE>(file), 0, nullptr, FILE_BEGIN);
  while (ReadFile(reinterpret_cast<HANDLE>(file), buffer, sizeof buffer, &count, nullptr) && count > 0)
    text.append(buffer, count);
  return text;
}

void CloseTemporaryFile(std::intptr_t file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }

// Windows has no device that is always full, and its consoles are no terminals.
TStdOutRedirection::TStdOutRedirection(TStdOutTarget target) {
  if (target == TStdOutTarget::DiskFull || target == TStdOutTarget::Terminal) return;
  fSaved = reinterpret_cast<std::intptr_t>(GetStdHandle(STD_OUTPUT_HANDLE));
  if (target == TStdOutTarget::File) fCapture = OpenTemporaryFile();
  SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(fCapture == -1 ? 0 : fCapture));
}

std::string TStdOutRedirection::Text() {
  if (fSaved != -1) SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(fSaved));
  const std::string text = fCapture != -1 ? ReadFromStart(fCapture) : std::string();
  if (fCapture != -1) CloseTemporaryFile(fCapture);
  fSaved = fCapture = -1;
  return text;
}
