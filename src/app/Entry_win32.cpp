#include "app/Entry_platform.h"

#include <windows.h>

namespace EntryPlatform {

bool DebuggerAttached() { return IsDebuggerPresent() != 0; }

void ShowErrorBox(const String& Message) {
  MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(Message.c_str()), L"Varnex", MB_ICONERROR | MB_TASKMODAL);
}

}  // namespace EntryPlatform
