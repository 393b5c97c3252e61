#include "support/TestPlatform.h"

#include <windows.h>

#include <memory>

#include "rtl/Process.h"
#include "rtl/Utf8.h"
#include "support/TempFile.h"

namespace fs = std::filesystem;

String ToString(const fs::path& path) { return String(path.native().begin(), path.native().end()); }
fs::path ToPath(const String& path) { return std::wstring(path.begin(), path.end()); }

namespace {

// A file's name on the other side of Wine, from Wine's own kernel32 exports; empty on Windows.
template <class TTo, class TFrom>
std::basic_string<TTo> WineName(const char* entryPoint, const TFrom* name) {
  const auto convert = reinterpret_cast<TTo* (*)(const TFrom*)>(
      reinterpret_cast<void (*)()>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), entryPoint)));
  const std::unique_ptr<TTo, void (*)(TTo*)> converted(convert ? convert(name) : nullptr, [](TTo* p) { HeapFree(GetProcessHeap(), 0, p); });
  return converted ? converted.get() : std::basic_string<TTo>();
}
std::wstring DosName(const char* unixName) { return WineName<WCHAR>("wine_get_dos_file_name", unixName); }
// Quoted, for the host's programs; Wine names a file that does not exist yet only by its directory.
std::wstring UnixName(const fs::path& path) {
  const String directory = Utf8BytesToString(WineName<char>("wine_get_unix_file_name", path.parent_path().c_str()));
  const std::wstring name = path.filename().wstring();
  return L"\"" + std::wstring(directory.begin(), directory.end()) + L"/" + name + L"\"";
}

void RemoveLongTree(const std::wstring& path) {
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &data);
  for (bool found = search != INVALID_HANDLE_VALUE; found; found = FindNextFileW(search, &data)) {
    const std::wstring name = data.cFileName, entry = path + L"\\" + name;
    if (name == L"." || name == L"..") continue;
    SetFileAttributesW(entry.c_str(), FILE_ATTRIBUTE_NORMAL);
    if ((data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY) RemoveLongTree(entry);
    else if (!DeleteFileW(entry.c_str())) RemoveDirectoryW(entry.c_str());
  }
  if (search != INVALID_HANDLE_VALUE) FindClose(search);
  RemoveDirectoryW(path.c_str());
}

}  // namespace

bool RunningUnderWine() { return !DosName("/").empty(); }

std::optional<TStoredTimes> StoredTimes(const fs::path& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  const auto time = [](const FILETIME& t) { return TFileTime{t.dwHighDateTime, t.dwLowDateTime}; };
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return TStoredTimes{time(data.ftLastWriteTime), time(data.ftLastAccessTime)};
}

void MakeReadOnly(const fs::path& path) { SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM); }

bool MakeLink(const fs::path& link, const fs::path& target, bool toDirectory) {
  const auto made = [&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; };
  if (!RunningUnderWine())
    return CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE | (toDirectory ? 1 : 0)) && made();
  // Wine's CreateSymbolicLinkW makes nothing: its host's ln does, with no handle to wait on.
  std::wstring commandLine = L"ln -s " + UnixName(target) + L" " + UnixName(link);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!toDirectory || !fs::is_directory(target) ||
      !CreateProcessW(DosName("/bin/ln").c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return false;
  for (int attempt = 0; attempt < 1000 && !made(); ++attempt) Sleep(10);
  return made();
}

void RemoveTree(const fs::path& path) { RemoveLongTree(L"\\\\?\\" + fs::absolute(path).make_preferred().wstring()); }

fs::path ProgramPath() { return (ToPath(ExecutablePath()).parent_path() / TIDEMARK_PROGRAM_FROM_TESTS).lexically_normal(); }

TProgramRun RunProgram(const std::vector<String>& args, TOutput output, bool) {
  std::wstring commandLine = L"\"" + ProgramPath().wstring() + L"\"";  // the tests' texts hold no quotes
  for (const String& arg : args) commandLine += L" \"" + std::wstring(arg.begin(), arg.end()) + L"\"";
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const std::intptr_t out = OpenTemporaryFile(), errors = OpenTemporaryFile();
  HANDLE writer = nullptr, reader = nullptr;
  if (output == TOutput::Full) writer = CreateFileW(DosName("/dev/full").c_str(), GENERIC_WRITE, 3, &inherit, OPEN_EXISTING, 0, nullptr);
  if (output == TOutput::BrokenPipe && CreatePipe(&reader, &writer, &inherit, 0)) CloseHandle(reader);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = CreateFileW(L"NUL", GENERIC_READ, 3, &inherit, OPEN_EXISTING, 0, nullptr);
  startup.hStdOutput = output == TOutput::File ? reinterpret_cast<HANDLE>(out) : writer;
  startup.hStdError = reinterpret_cast<HANDLE>(errors);
  PROCESS_INFORMATION process{};
  TProgramRun run;
  if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_TIMEOUT) TerminateProcess(process.hProcess, DWORD(-1));
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, reinterpret_cast<DWORD*>(&run.ExitCode));
    for (const HANDLE handle : {process.hThread, process.hProcess}) CloseHandle(handle);
  }
  for (const HANDLE handle : {writer, startup.hStdInput}) CloseHandle(handle);
  run.Output = ReadFromStart(out);
  run.Errors = ReadFromStart(errors);
  CloseTemporaryFile(out);
  CloseTemporaryFile(errors);
  return run;
}
