#pragma once
// What tests need of the platform, made with its own calls rather than the units under test.

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "rtl/FileSystem.h"
#include "rtl/Path.h"

// A file-system path as the units see it, and back.
String ToString(const std::filesystem::path& path);
std::filesystem::path ToPath(const String& path);
// Portable with each '/' turned into the platform's delimiter.
inline String NativePath(std::u16string_view portable) {
  String path(portable);
  std::ranges::replace(path, u'/', PathDelim);
  return path;
}
// True in the Windows build when it runs under Wine, for the few cases Wine cannot reproduce.
bool RunningUnderWine();
inline const bool OnWindows = PathDelim == u'\\';

struct TStoredTimes {
  TFileTime LastWrite, LastAccess;
};
std::optional<TStoredTimes> StoredTimes(const std::filesystem::path& path);  // a link's own
void MakeReadOnly(const std::filesystem::path& path);                        // Windows: hidden and system too
// False where the platform makes none: Wine shows links to directories only, made on its host.
bool MakeLink(const std::filesystem::path& link, const std::filesystem::path& target, bool toDirectory);
// Path and all below it at any depth, links as links, read-only entries too.
void RemoveTree(const std::filesystem::path& path);

struct TCurrentDirectory {
  std::filesystem::path Previous = std::filesystem::current_path();
  explicit TCurrentDirectory(const std::filesystem::path& directory) { std::filesystem::current_path(directory); }
  ~TCurrentDirectory() { std::filesystem::current_path(Previous); }
};

// Where the built program's standard output goes: Windows has a full device only under Wine.
enum class TOutput { File, Closed, Full, BrokenPipe };
struct TProgramRun {
  int ExitCode = -1;  // POSIX: a signal's number negated; a run ends after a minute
  std::string Output, Errors;
};
std::filesystem::path ProgramPath();
// Runs the built program with input from the null device. LockedOut (POSIX) takes root's power
// to pass permission checks from it, so that permission bits bind it as they bind their owner.
TProgramRun RunProgram(const std::vector<String>& args, TOutput output = TOutput::File, bool lockedOut = false);
