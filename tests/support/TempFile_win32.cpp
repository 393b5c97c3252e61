#include "support/TempFile.h"

#include <windows.h>

#include <cstdlib>
#include <filesystem>

std::intptr_t OpenTemporaryFile() {
  const std::filesystem::path directory = std::filesystem::temp_directory_path();
  std::wstring name(MAX_PATH + 1, L'\0');  // the size GetTempFileNameW writes at most
  if (GetTempFileNameW(directory.c_str(), L"tmk", 0, name.data()) == 0) std::abort();
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (file == INVALID_HANDLE_VALUE) std::abort();
  return reinterpret_cast<std::intptr_t>(file);
}

std::string ReadFromStart(std::intptr_t file) {
  const HANDLE handle = reinterpret_cast<HANDLE>(file);
  std::string text;
  SetFilePointer(handle, 0, nullptr, FILE_BEGIN);
  char buffer[4096];
  DWORD count = 0;
  while (ReadFile(handle, buffer, sizeof buffer, &count, nullptr) && count > 0) text.append(buffer, count);
  return text;
}

void CloseTemporaryFile(std::intptr_t file) { CloseHandle(reinterpret_cast<HANDLE>(file)); }
