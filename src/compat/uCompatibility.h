#pragma once
// The program's direct dealings with the platform: the file-time query the engine uses,
// deletion of directory trees and of paths listed for deletion at program end, optional
// kernel32 entry points resolved by name, and a table of Windows version names.

#include <array>
#include <cstdint>
#include <string_view>

#include "rtl/FileSystem.h"
#include "rtl/StringList.h"

// The times of the file or directory FileName, exactly as the file system stores them, in
// the order creation, last write, last access. Links are followed; when that is not possible
// the times of the name's own entry are taken (Windows: the directory entry found by a search
// for FileName; POSIX: the link itself). POSIX keeps no creation time: CreationTime receives
// the status-change time. Returns false, with all three outputs zero, when neither works.
bool GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime, TFileTime& LastAccessTime);

// Deletes the directory Directory with everything in it, read-only, hidden and system
// entries included. Never leaves the tree: a link inside it, or Directory itself when it is
// a link, is removed as a link; nothing it leads to is changed. A failing entry does not stop
// the walk, but keeps its directories in place. Returns true when Directory is gone at the
// end, and for an empty Directory (which deletes nothing).
bool DeleteDirectoryTree(const String& Directory);

// Paths of files and directories to delete at shutdown, in the order added; a listed link
// goes as a link. Null before InitializeCompatibility and after FinalizeCompatibility.
TStringList* FilesToDeleteOnExit();

// Optional kernel32 entry points with the platform's signatures (the supported Windows build
// is 64-bit, where there is only one calling convention). Each is null when kernel32 does not
// export it, before start-up, after shutdown, and always on POSIX; callers test for null.
// Nothing in the program calls them.
struct TOptionalEntryPoints {
  int (*GetFileInformationByHandleEx)(void* File, int FileInformationClass, void* FileInformation,
                                      std::uint32_t BufferSize) = nullptr;
  int (*GetVolumePathNameA)(const char* FileName, char* VolumePathName, std::uint32_t BufferLength) = nullptr;
  int (*GetVolumePathNameW)(const wchar_t* FileName, wchar_t* VolumePathName, std::uint32_t BufferLength) = nullptr;
  // The same entry point as GetVolumePathNameW.
  int (*GetVolumePathName)(const wchar_t* FileName, wchar_t* VolumePathName, std::uint32_t BufferLength) = nullptr;
  int (*IsWow64Process)(void* Process, int* Wow64Process) = nullptr;
  int (*Wow64DisableWow64FsRedirection)(void** OldValue) = nullptr;
  int (*Wow64RevertWow64FsRedirection)(void* OldValue) = nullptr;
};
const TOptionalEntryPoints& OptionalEntryPoints();

// Names of Windows versions; row 0 is empty. The index means nothing beyond the rows.
extern const std::array<std::u16string_view, 20> WindowsVersionNames;

// The unit's start-up, run once before the main routine: loads kernel32 and resolves the
// optional entry points (Windows), then creates the empty FilesToDeleteOnExit list.
void InitializeCompatibility();

// The unit's shutdown, run once after the main routine: releases kernel32 and clears the
// entry points, then deletes the listed paths, ignoring every failure, and frees the list.
void FinalizeCompatibility();
