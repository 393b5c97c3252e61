#include "support/TestPlatform.h"

#include <windows.h>

String ToString(const std::filesystem::path& path) {
  const std::wstring& native = path.native();
  return String(native.begin(), native.end());
}

std::filesystem::path ToPath(const String& path) { return std::wstring(path.begin(), path.end()); }

bool RunningUnderWine() {
  // Wine's ntdll exports this; Windows' does not.
  static const bool underWine = [] {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return underWine;
}
