#pragma once
// File services the units stand on: existence tests, full-path expansion, wildcard
// enumeration, file times, file identities and deletion of single entries. One contract for
// both platforms; the halves are FileSystem_posix.cpp and FileSystem_win32.cpp.

#include <cstdint>
#include <memory>
#include <optional>

#include "rtl/String.h"

// A file time exactly as the file system stores it, never converted or rounded.
// Windows: the two halves of a FILETIME (100-nanosecond ticks since 1601, UTC).
// POSIX: seconds and nanoseconds since 1970, UTC. Two times are equal only when both halves are.
struct TFileTime {
  std::int64_t High = 0;  // Windows: dwHighDateTime; POSIX: tv_sec
  std::uint32_t Low = 0;  // Windows: dwLowDateTime; POSIX: tv_nsec
  bool operator==(const TFileTime&) const = default;
};

// Tells one file or directory from another, whatever name it is reached by.
struct TFileIdentity {
  std::uint64_t Volume = 0;
  std::uint64_t Index = 0;
  auto operator<=>(const TFileIdentity&) const = default;
};

// True when Name exists and is not a directory. Links are followed: a link counts when its
// target can be opened.
bool FileExists(const String& name);

// True when Name exists and is a directory. Links are followed as by FileExists.
bool DirectoryExists(const String& name);

// True when Name itself is a link (Windows: any reparse point). Links are not followed.
bool IsLink(const String& name);

// The absolute form of Name, against the current directory, with "." and ".." resolved.
// POSIX resolves them by the text alone, folds repeated separators and never replaces a link
// by its target, so a directory reached through a link keeps its name. A trailing separator
// is kept. Returns an empty string for an empty Name or when the current directory is unknown.
String ExpandFileName(const String& name);

// Sets the last-write time of FileName itself, and nothing else: the other times, the
// attributes and the content stay, and a link is not followed (its own time is set, never
// its target's). Only attribute-writing access is asked for, so a read-only file is changed
// like any other. Returns false when the file cannot be opened for that or the time is
// refused.
bool SetFileLastWriteTime(const String& fileName, const TFileTime& lastWriteTime);

// (The names below keep clear of the Win32 macros DeleteFile and RemoveDirectory.)

// Deletes the file FileName; a link is deleted itself, never its target. A read-only file is
// refused (POSIX: one without any write permission bit).
bool RemoveFile(const String& fileName);

// Deletes the file FileName also when it is read-only, hidden or system (Windows clears its
// attributes first, without checking that this worked; POSIX leaves the mode as it is).
bool ForceRemoveFile(const String& fileName);

// Removes the empty directory Directory. Fails for a directory that still holds entries.
bool RemoveEmptyDirectory(const String& directory);

// Removes the link Name itself, whether it leads to a file or a directory.
bool RemoveLink(const String& name);

// One entry found by TFileSearch.
struct TSearchEntry {
  static constexpr std::uint32_t faDirectory = 0x10;

  String Name;
  // Windows: the entry's attribute bits. POSIX: faDirectory alone, set also for a link that
  // leads to a directory.
  std::uint32_t Attributes = 0;
  // The entry is a link (Windows: any reparse point).
  bool IsLink = false;

  bool IsDirectory() const { return (Attributes & faDirectory) != 0; }
};

// Enumerates the entries of one directory that match a wildcard pattern ("*" and "?" in the
// last component, as in "objects/pack/pack-*.pack"), hidden and system entries included,
// "." and ".." too, in the order the file system delivers them. Windows matches names
// without regard to case, POSIX with. When the search cannot start (no match, missing or
// unreadable directory) nothing is found and no error is reported. The search is closed when
// the object goes.
//
//   for (TFileSearch search(pattern); search.Found(); search.Next()) use(search.Entry());
class TFileSearch {
public:
  explicit TFileSearch(const String& pattern);
  ~TFileSearch();
  TFileSearch(const TFileSearch&) = delete;
  TFileSearch& operator=(const TFileSearch&) = delete;

  // False once every entry has been delivered.
  bool Found() const { return fFound; }
  // The current entry; valid while Found().
  const TSearchEntry& Entry() const { return fEntry; }
  void Next();

private:
  struct TState;
  std::unique_ptr<TState> fState;
  TSearchEntry fEntry;
  bool fFound = false;
};
