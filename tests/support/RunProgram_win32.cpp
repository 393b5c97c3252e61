#include "support/RunProgram.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "support/TempFile.h"

namespace {

// The program's parameters are split at blanks, and double quotes group; the tests' texts
// hold no quotes.
std::wstring CommandLine(const std::filesystem::path& program, const std::vector<String>& args) {
  std::wstring line = L"\"" + program.wstring() + L"\"";
  for (const String& arg : args) line += L" \"" + std::wstring(arg.begin(), arg.end()) + L"\"";
  return line;
}

// This process's environment block with the entries added.
std::wstring EnvironmentBlock(const std::vector<std::string>& additions) {
  std::wstring block;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    block.append(entry).push_back(L'\0');
  }
  FreeEnvironmentStringsW(strings);
  for (const std::string& entry : additions) block.append(entry.begin(), entry.end()).push_back(L'\0');
  return block + L'\0';
}

}  // namespace

TProgramRun RunExecutable(const std::filesystem::path& program, const std::vector<String>& args,
                          TProgramOutput output, const std::vector<std::string>& environment) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE input =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  const std::intptr_t outFile = OpenTemporaryFile();
  const std::intptr_t errFile = OpenTemporaryFile();
  HANDLE pipeWriter = nullptr;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdError = reinterpret_cast<HANDLE>(errFile);
  switch (output) {
    case TProgramOutput::File: startup.hStdOutput = reinterpret_cast<HANDLE>(outFile); break;
    case TProgramOutput::Closed: startup.hStdOutput = nullptr; break;
    case TProgramOutput::BrokenPipe: {
      HANDLE pipeReader = nullptr;
      if (!CreatePipe(&pipeReader, &pipeWriter, &inherit, 0)) std::abort();
      CloseHandle(pipeReader);
      startup.hStdOutput = pipeWriter;
      break;
    }
  }

  TProgramRun run;
  std::wstring commandLine = CommandLine(program, args);
  std::wstring environmentBlock = EnvironmentBlock(environment);
  PROCESS_INFORMATION process{};
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                     environmentBlock.data(), nullptr, &startup, &process)) {
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    run.exitCode = static_cast<int>(exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  if (pipeWriter != nullptr) CloseHandle(pipeWriter);
  CloseHandle(input);
  run.output = ReadFromStart(outFile);
  run.errors = ReadFromStart(errFile);
  CloseTemporaryFile(outFile);
  CloseTemporaryFile(errFile);
  return run;
}
