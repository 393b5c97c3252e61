#include "support/TestPlatform.h"

#include <windows.h>

#include "support/WineHost.h"

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

namespace {

// Wine's own kernel32 exports; null on Windows itself. Their results live on the process heap.
template <class TProc>
TProc WineEntryPoint(const char* name) {
  return reinterpret_cast<TProc>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name)));
}

}  // namespace

std::wstring WineDosFileName(const char* UnixName) {
  const auto convert = WineEntryPoint<WCHAR*(CDECL*)(const char*)>("wine_get_dos_file_name");
  WCHAR* name = convert != nullptr ? convert(UnixName) : nullptr;
  if (name == nullptr) return {};
  std::wstring result(name);
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

std::string WineUnixFileName(const std::wstring& DosName) {
  const auto convert = WineEntryPoint<char*(CDECL*)(const WCHAR*)>("wine_get_unix_file_name");
  char* name = convert != nullptr ? convert(DosName.c_str()) : nullptr;
  if (name == nullptr) return {};
  std::string result(name);
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}
