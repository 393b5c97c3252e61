#include "framework/uConsoleApp_platform.h"

#include <windows.h>

#include "framework/uStrings.h"

namespace {

using GetConsoleWindowProc = HWND(WINAPI*)();
using AttachConsoleProc = BOOL(WINAPI*)(DWORD);

// kernel32 and the two console entry points that older Windows versions lack, looked up once
// at start-up; null when missing.
HMODULE Kernel32 = nullptr;
GetConsoleWindowProc GetConsoleWindowFn = nullptr;
AttachConsoleProc AttachConsoleFn = nullptr;

HANDLE HandleOf(THandle handle) { return reinterpret_cast<HANDLE>(handle); }

template <class TProc>
TProc LookUp(HMODULE module, const char* name) {
  // Through the generic function type, which converts to any other without a warning.
  return reinterpret_cast<TProc>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return GetConsoleMode(handle, &mode) != 0;
}

BOOL WINAPI OnConsoleCtrl(DWORD ctrlType) { return ConsoleCtrlHandler(ctrlType) ? TRUE : FALSE; }

THandle StdHandle(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle == nullptr || handle == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<THandle>(handle);
}

}  // namespace

namespace ConsolePlatform {

THandle OpenStdInput() { return StdHandle(STD_INPUT_HANDLE); }

THandle OpenStdOutput() { return StdHandle(STD_OUTPUT_HANDLE); }

// The standard handles belong to the process, not to the object that asked for them.
void CloseStdHandle(THandle) {}

bool QueryConsole(THandle handle, std::uint8_t& attr, std::int32_t& width) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (handle == 0 || !GetConsoleScreenBufferInfo(HandleOf(handle), &info)) return false;
  attr = LOBYTE(info.wAttributes);
  width = info.dwSize.X;
  return true;
}

bool IsConsoleHandle(THandle handle) {
  // Writing no characters succeeds only on a console.
  DWORD written = 0;
  return handle != 0 && WriteConsoleW(HandleOf(handle), L"", 0, &written, nullptr) != 0;
}

void SetConsoleAttribute(THandle handle, std::uint8_t attr) {
  if (handle != 0) SetConsoleTextAttribute(HandleOf(handle), attr);
}

int WriteChannel(THandle handle, const String& text) {
  // A console decodes the bytes in its output code page; files and pipes get the ANSI one.
  const std::uint32_t codePage = IsConsole(HandleOf(handle)) ? GetConsoleOutputCP() : CodePageAnsi;
  const RawByteString bytes = WideToMultiByte(codePage, text.data(), static_cast<int>(text.size()));
  std::size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(HandleOf(handle), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr))
      return static_cast<int>(GetLastError());
    done += written;
  }
  return 0;
}

void WriteConsoleBytes(THandle handle, const RawByteString& bytes) {
  DWORD written = 0;
  WriteFile(HandleOf(handle), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

THandle ProcessStdOut() { return StdHandle(STD_OUTPUT_HANDLE); }

const String& LineSeparator() {
  static const String separator = u"\r\n";
  return separator;
}

void StartUp() {
  Kernel32 = LoadLibraryW(L"kernel32.dll");
  if (Kernel32 != nullptr) {
    GetConsoleWindowFn = LookUp<GetConsoleWindowProc>(Kernel32, "GetConsoleWindow");
    AttachConsoleFn = LookUp<AttachConsoleProc>(Kernel32, "AttachConsole");
  }
  SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
}

void ShutDown() {
  if (Kernel32 != nullptr) FreeLibrary(Kernel32);
  Kernel32 = nullptr;
  GetConsoleWindowFn = nullptr;
  AttachConsoleFn = nullptr;
  SetConsoleCtrlHandler(OnConsoleCtrl, FALSE);
}

TConsoleState HasConsole() {
  if (GetConsoleWindowFn == nullptr) return TConsoleState::csNoConsole;
  if (GetConsoleWindowFn() != nullptr) return TConsoleState::csOwnConsole;
  return ParentHasConsole() ? TConsoleState::csParentConsole : TConsoleState::csNoConsole;
}

bool ParentHasConsole() {
  if (AttachConsoleFn == nullptr || !AttachConsoleFn(ATTACH_PARENT_PROCESS)) return false;
  const bool hasWindow = GetConsoleWindowFn != nullptr && GetConsoleWindowFn() != nullptr;
  FreeConsole();
  return hasWindow;
}

void ObtainConsole(TConsoleState state) {
  if (state == TConsoleState::csParentConsole && AttachConsoleFn != nullptr) {
    AttachConsoleFn(ATTACH_PARENT_PROCESS);
    // Start below the parent's prompt.
    WriteChannel(ProcessStdOut(), LineSeparator());
  } else {
    AllocConsole();
  }
}

void ReleaseConsole() { FreeConsole(); }

}  // namespace ConsolePlatform
