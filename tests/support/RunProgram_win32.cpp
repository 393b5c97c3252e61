#include "support/RunProgram.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <utility>

#include "support/TempFile.h"
#include "support/WineHost.h"

namespace {

using Clock = std::chrono::steady_clock;

// Reads single bytes up to and including the first line end, so that nothing beyond the first
// line is taken from the pipe. Stops early at the writer's end or at the deadline.
std::string ReadFirstLine(HANDLE pipe, Clock::time_point deadline) {
  std::string line;
  DWORD available = 0, got = 0;
  char byte = 0;
  while (Clock::now() < deadline && PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
    if (available == 0) {
      Sleep(5);
      continue;
    }
    if (!ReadFile(pipe, &byte, 1, &got, nullptr) || got == 0) break;
    line += byte;
    if (byte == '\n') break;
  }
  return line;
}

}  // namespace

bool ProgramOutputSupported(TProgramOutput kind) {
  // Windows has no device that is always full; under Wine the host's is reachable.
  if (kind == TProgramOutput::DiskFull) return !WineDosFileName("/dev/full").empty();
  return kind != TProgramOutput::NonBlockingPipe;
}

TProgramRun RunExecutable(const std::filesystem::path& program, const std::vector<String>& args,
                          TProgramOutput output, const std::vector<std::string>& environment) {
  const Clock::time_point deadline = Clock::now() + ProgramTimeLimit;
  // The program's parameters are split at blanks, and double quotes group; the tests' texts
  // hold no quotes.
  std::wstring commandLine = L"\"" + program.wstring() + L"\"";
  for (const String& arg : args) commandLine += L" \"" + std::wstring(arg.begin(), arg.end()) + L"\"";
  // This process's environment block with the entries added.
  std::wstring environmentBlock;
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += std::wcslen(entry) + 1)
    environmentBlock.append(entry).push_back(L'\0');
  FreeEnvironmentStringsW(strings);
  for (const std::string& entry : environment) environmentBlock.append(entry.begin(), entry.end()).push_back(L'\0');
  environmentBlock.push_back(L'\0');

  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE input =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  const std::intptr_t outFile = OpenTemporaryFile(), errFile = OpenTemporaryFile();
  HANDLE writer = nullptr, reader = nullptr;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdError = reinterpret_cast<HANDLE>(errFile);
  switch (output) {
    case TProgramOutput::File:
    case TProgramOutput::Closed: break;
    case TProgramOutput::DiskFull:
      writer = CreateFileW(WineDosFileName("/dev/full").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
      break;
    default:  // a pipe, but none that does not block
      if (output == TProgramOutput::NonBlockingPipe || !CreatePipe(&reader, &writer, &inherit, 0)) std::abort();
      // The child must not hold the reading end, or its writes would never fail.
      SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
      if (output == TProgramOutput::BrokenPipe) CloseHandle(std::exchange(reader, nullptr));
  }
  startup.hStdOutput = output == TProgramOutput::File ? reinterpret_cast<HANDLE>(outFile) : writer;

  TProgramRun run;
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                      environmentBlock.data(), nullptr, &startup, &process) != FALSE;
  // The pipe's writer is the child's alone now, so the reader sees its end when it ends.
  if (writer != nullptr && writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  if (started && reader != nullptr) run.firstLine = ReadFirstLine(reader, deadline);
  if (reader != nullptr) CloseHandle(reader);
  if (started) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (WaitForSingleObject(process.hProcess, left < 0 ? 0 : static_cast<DWORD>(left)) == WAIT_TIMEOUT) {
      run.timedOut = true;
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    run.exitCode = static_cast<int>(exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(input);
  run.output = ReadFromStart(outFile);
  run.errors = ReadFromStart(errFile);
  CloseTemporaryFile(outFile);
  CloseTemporaryFile(errFile);
  return run;
}
