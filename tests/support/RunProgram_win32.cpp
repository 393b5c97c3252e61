#include "support/RunProgram.h"

#include <windows.h>

#include <cstdlib>
#include <cwchar>

#include "support/TempFile.h"
#include "support/WineHost.h"

namespace {

using Clock = std::chrono::steady_clock;

DWORD MillisecondsUntil(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<DWORD>(left);
}

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

// Reads single bytes up to and including the first line end, so that nothing beyond the first
// line is taken from the pipe. Stops early at the writer's end or at the deadline.
std::string ReadFirstLine(HANDLE pipe, Clock::time_point deadline) {
  std::string line;
  while (Clock::now() < deadline) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return line;
    if (available == 0) {
      Sleep(5);
      continue;
    }
    char byte = 0;
    DWORD got = 0;
    if (!ReadFile(pipe, &byte, 1, &got, nullptr) || got == 0) return line;
    line += byte;
    if (byte == '\n') return line;
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
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE input =
      CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
  const std::intptr_t outFile = OpenTemporaryFile();
  const std::intptr_t errFile = OpenTemporaryFile();
  HANDLE writer = nullptr;
  HANDLE reader = nullptr;

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdError = reinterpret_cast<HANDLE>(errFile);
  switch (output) {
    case TProgramOutput::File: startup.hStdOutput = reinterpret_cast<HANDLE>(outFile); break;
    case TProgramOutput::Closed: startup.hStdOutput = nullptr; break;
    case TProgramOutput::BrokenPipe:
    case TProgramOutput::OneLineReader:
      if (!CreatePipe(&reader, &writer, &inherit, 0)) std::abort();
      // The child must not hold the reading end, or its writes would never fail.
      SetHandleInformation(reader, HANDLE_FLAG_INHERIT, 0);
      if (output == TProgramOutput::BrokenPipe) {
        CloseHandle(reader);
        reader = nullptr;
      }
      startup.hStdOutput = writer;
      break;
    case TProgramOutput::DiskFull:
      writer = CreateFileW(WineDosFileName("/dev/full").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
      startup.hStdOutput = writer;
      break;
    case TProgramOutput::NonBlockingPipe: std::abort();  // not offered here
  }

  TProgramRun run;
  std::wstring commandLine = CommandLine(program, args);
  std::wstring environmentBlock = EnvironmentBlock(environment);
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                                      environmentBlock.data(), nullptr, &startup, &process) != FALSE;
  // The pipe's writer is the child's alone now, so the reader sees its end when it ends.
  if (writer != nullptr && writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  if (started && reader != nullptr) run.firstLine = ReadFirstLine(reader, deadline);
  if (reader != nullptr) CloseHandle(reader);
  if (started) {
    if (WaitForSingleObject(process.hProcess, MillisecondsUntil(deadline)) == WAIT_TIMEOUT) {
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
