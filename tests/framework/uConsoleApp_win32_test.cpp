#include "framework/uConsoleApp.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "rtl/Process.h"
#include "support/TempFile.h"
#include "support/TestConsoleApp.h"

namespace {

// The pseudo-console entry points, looked up because the headers offer them only to builds
// for newer Windows versions.
using CreatePseudoConsoleProc = HRESULT(WINAPI*)(COORD, HANDLE, HANDLE, DWORD, void**);
using ClosePseudoConsoleProc = void(WINAPI*)(void*);
// ProcThreadAttributePseudoConsole (22), an input attribute.
constexpr DWORD_PTR AttributePseudoConsole = 0x20016;

template <class TProc>
TProc Kernel32Proc(const char* name) {
  const FARPROC proc = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
  return reinterpret_cast<TProc>(reinterpret_cast<void (*)()>(proc));
}

}  // namespace

// Runs the next test in a child of this test binary, on a console of its own (a pseudo-console,
// which Wine offers as well).
TEST(ConsoleAppWin32Test, ColouredWritesOnARealConsoleRestoreTheAttribute) {
  const auto createPseudoConsole = Kernel32Proc<CreatePseudoConsoleProc>("CreatePseudoConsole");
  const auto closePseudoConsole = Kernel32Proc<ClosePseudoConsoleProc>("ClosePseudoConsole");
  HANDLE inputReader, inputWriter, screenReader, screenWriter;
  CreatePipe(&inputReader, &inputWriter, nullptr, 0);
  CreatePipe(&screenReader, &screenWriter, nullptr, 0);
  void* console = nullptr;
  if (createPseudoConsole == nullptr || closePseudoConsole == nullptr ||
      FAILED(createPseudoConsole(COORD{120, 40}, inputReader, screenWriter, 0, &console)))
    GTEST_SKIP() << "no pseudo-console on this system";

  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::string listBuffer(size, '\0');
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(listBuffer.data());
  InitializeProcThreadAttributeList(attributes, 1, 0, &size);
  UpdateProcThreadAttribute(attributes, 0, AttributePseudoConsole, console, sizeof console, nullptr, nullptr);

  // The test framework's report goes to a file; the console is for the code under test.
  const std::intptr_t report = OpenTemporaryFile();

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = reinterpret_cast<HANDLE>(report);
  startup.StartupInfo.hStdError = reinterpret_cast<HANDLE>(report);
  startup.lpAttributeList = attributes;
  const String self = ExecutablePath();
  std::wstring commandLine = L"\"" + std::wstring(self.begin(), self.end()) + L"\" --gtest_also_run_disabled_tests" +
                             L" --gtest_filter=ConsoleAppWin32Test.DISABLED_OnThisConsole";
  PROCESS_INFORMATION process{};
  DWORD exitCode = static_cast<DWORD>(-1);
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                     nullptr, &startup.StartupInfo, &process)) {
    // The console's screen must be drained, or a chatty child blocks on it.
    char buffer[4096];
    DWORD count = 0;
    while (WaitForSingleObject(process.hProcess, 50) == WAIT_TIMEOUT) {
      DWORD available = 0;
      while (PeekNamedPipe(screenReader, nullptr, 0, nullptr, &available, nullptr) && available > 0 &&
             ReadFile(screenReader, buffer, sizeof buffer, &count, nullptr)) {
      }
    }
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  closePseudoConsole(console);
  DeleteProcThreadAttributeList(attributes);
  for (HANDLE pipe : {inputReader, inputWriter, screenReader, screenWriter}) CloseHandle(pipe);

  const std::string output = ReadFromStart(report);
  CloseTemporaryFile(report);
  EXPECT_EQ(exitCode, 0u) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test."), std::string::npos) << output;
}

// Runs only inside the test above, on a console of its own.
TEST(ConsoleAppWin32Test, DISABLED_OnThisConsole) {
  const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  SetStdHandle(STD_OUTPUT_HANDLE, console);
  // Yellow on blue: restoring must come back to this, not to a default.
  const WORD original = 0x1E;
  SetConsoleTextAttribute(console, original);

  SetIsConsole(true);
  const auto screen = [console] {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    return info;
  };
  std::vector<WORD> attributesAfterWrites;
  COORD redAt{};
  const std::uint32_t exitCode = ::Run(TestAppClass([&](TTestConsoleApp& app) {
    attributesAfterWrites.push_back(screen().wAttributes);  // after the banner
    redAt = screen().dwCursorPosition;
    app.WriteColored(12, u"r\u00e9d");
    attributesAfterWrites.push_back(screen().wAttributes);
    app.WriteError(u" error");
    attributesAfterWrites.push_back(screen().wAttributes);
    return 0u;
  }));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(attributesAfterWrites, (std::vector<WORD>{original, original, original}));

  // The coloured text keeps the background, and its accented letter survives the way
  // through the OEM code page.
  WORD cells[3] = {};
  wchar_t text[3] = {};
  DWORD count = 0;
  ReadConsoleOutputAttribute(console, cells, 3, redAt, &count);
  ReadConsoleOutputCharacterW(console, text, 3, redAt, &count);
  EXPECT_EQ(std::wstring(text, 3), L"r\u00e9d");
  for (WORD cell : cells) EXPECT_EQ(cell & 0xFF, 0x1C);
}
