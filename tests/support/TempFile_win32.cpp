#include "support/TempFile.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>

std::intptr_t OpenTemporaryFile() {
  wchar_t name[MAX_PATH + 1];  // the size GetTempFileNameW writes at most
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (GetTempFileNameW(std::filesystem::temp_directory_path().c_str(), L"tmk", 0, name) == 0) std::abort();
  const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const HANDLE file = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, sharing, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) std::abort();
  return reinterpret_cast<std::intptr_t>(file);
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
