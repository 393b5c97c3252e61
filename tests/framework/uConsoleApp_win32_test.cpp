#include "framework/uConsoleApp.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "rtl/Process.h"
#include "support/TempFile.h"
#include "support/TestConsoleApp.h"

// Runs the next test in a child on a pseudo-console of its own (Wine offers one too); the entry
// points are looked up, as older headers lack them; 0x20016 hands the console to the child.
TEST(ConsoleAppWin32Test, ColouredWritesOnARealConsoleRestoreTheAttribute) {
  using CreateProc = HRESULT(WINAPI*)(COORD, HANDLE, HANDLE, DWORD, void**);
  const auto proc = [](const char* name) {
    return reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name));
  };
  const auto create = reinterpret_cast<CreateProc>(proc("CreatePseudoConsole"));
  const auto close = reinterpret_cast<void(WINAPI*)(void*)>(proc("ClosePseudoConsole"));
  HANDLE input[2], screen[2];
  void* console = nullptr;
  if (!CreatePipe(&input[0], &input[1], nullptr, 0) || !CreatePipe(&screen[0], &screen[1], nullptr, 0) || !create ||
      !close || FAILED(create(COORD{120, 40}, input[0], screen[1], 0, &console)))
    GTEST_SKIP() << "no pseudo-console on this system";
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::string attributes(size, '\0');
  const auto list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  InitializeProcThreadAttributeList(list, 1, 0, &size);
  UpdateProcThreadAttribute(list, 0, 0x20016, console, sizeof console, nullptr, nullptr);
  const std::intptr_t report = OpenTemporaryFile();
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.lpAttributeList = list;
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdOutput = startup.StartupInfo.hStdError = reinterpret_cast<HANDLE>(report);
  const String self = ExecutablePath();
  std::wstring commandLine = L"\"" + std::wstring(self.begin(), self.end()) + L"\" --gtest_also_run_disabled_tests" +
                             L" --gtest_filter=ConsoleAppWin32Test.DISABLED_OnThisConsole";
  PROCESS_INFORMATION child{};
  DWORD exitCode = 1, count = 0;
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT, nullptr,
                     nullptr, &startup.StartupInfo, &child)) {
    char buffer[4096];  // drained, or a chatty child blocks
    while (WaitForSingleObject(child.hProcess, 50) == WAIT_TIMEOUT)
      while (PeekNamedPipe(screen[0], nullptr, 0, nullptr, &count, nullptr) && count > 0 &&
             ReadFile(screen[0], buffer, sizeof buffer, &count, nullptr)) {
      }
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
  close(console);
  DeleteProcThreadAttributeList(list);
  for (HANDLE pipe : {input[0], input[1], screen[0], screen[1]}) CloseHandle(pipe);
  const std::string output = ReadFromStart(report);
  CloseTemporaryFile(report);
  EXPECT_TRUE(exitCode == 0 && output.find("[  PASSED  ] 1 test.") != std::string::npos) << output;
}

// Only inside the test above: restoring comes back to yellow on blue, the coloured text keeps
// the background, and its accented letter survives the OEM code page.
TEST(ConsoleAppWin32Test, DISABLED_OnThisConsole) {
  const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                     nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(console, INVALID_HANDLE_VALUE);
  SetStdHandle(STD_OUTPUT_HANDLE, console);
  SetConsoleTextAttribute(console, 0x1E);
  SetIsConsole(true);
  CONSOLE_SCREEN_BUFFER_INFO info{};
  std::vector<WORD> attributes;
  COORD redAt{};
  EXPECT_EQ(::Run(TestAppClass([&](TTestConsoleApp& app) {
              GetConsoleScreenBufferInfo(console, &info);
              redAt = info.dwCursorPosition;
              for (const char16_t* text : {u"r\u00e9d", u" error"}) {
                attributes.push_back(info.wAttributes);
                text[0] == u'r' ? app.WriteColored(12, text) : app.WriteError(text);
                GetConsoleScreenBufferInfo(console, &info);
              }
              return attributes.push_back(info.wAttributes), 0u;
            })), 0u);
  EXPECT_EQ(attributes, (std::vector<WORD>{0x1E, 0x1E, 0x1E}));
  WORD cells[3] = {};
  wchar_t text[3] = {};
  DWORD count = 0;
  ReadConsoleOutputAttribute(console, cells, 3, redAt, &count);
  ReadConsoleOutputCharacterW(console, text, 3, redAt, &count);
  EXPECT_EQ(std::wstring(text, 3), L"r\u00e9d");
  for (WORD cell : cells) EXPECT_EQ(cell & 0xFF, 0x1C);
}
