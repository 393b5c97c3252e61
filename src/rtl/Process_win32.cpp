#include "rtl/Process.h"

#include <windows.h>

#include <cwchar>

void SetProcessArguments(int, const char* const[]) {}

TStringList ProcessParameters() {
  const wchar_t* commandLine = GetCommandLineW();
  TStringList parameters =
      SplitCommandLine(std::u16string_view(reinterpret_cast<const Char*>(commandLine), std::wcslen(commandLine)));
  // The first parameter is the program name.
  if (!parameters.empty()) parameters.erase(parameters.begin());
  return parameters;
}

String ExecutablePath() {
  String path(256, u'\0');
  for (;;) {
    const DWORD size = static_cast<DWORD>(path.size());
    const DWORD length = GetModuleFileNameW(nullptr, reinterpret_cast<wchar_t*>(path.data()), size);
    if (length == 0) return {};
    // A full buffer means the path was cut off; try again with more room.
    if (length < size) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}
