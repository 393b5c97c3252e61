#pragma once
// What the engine asks of the file system: directories opened one below the other and read
// in one go, tests by name relative to an open directory, and the two pack-time operations
// behind an interface that tests can replace.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "rtl/FileSystem.h"
#include "rtl/String.h"

class TDirectory;

// The entries of one directory, "." and ".." left out, in the order the file system delivers
// them. Filled by TDirectory::Read; meant to be reused, so that a walk allocates for its
// largest directory only.
class TDirectoryListing {
public:
  TDirectoryListing();
  ~TDirectoryListing();
  TDirectoryListing(const TDirectoryListing&) = delete;
  TDirectoryListing& operator=(const TDirectoryListing&) = delete;
  // Exchanges the entries with Other's, without copying them.
  void Swap(TDirectoryListing& Other) noexcept { fEntries.swap(Other.fEntries); }

  std::size_t Count() const;
  String Name(std::size_t Index) const;
  // Whether the entry's name matches Mask ("*" any run of characters, "?" one) as the
  // platform's wildcard search matches: POSIX exactly, Windows without regard to case.
  bool NameMatches(std::size_t Index, const String& Mask) const;
  // False only when no entry can be reached by the name Name. Windows: no entry has that
  // name, case ignored. POSIX: none has it exactly, and none could be taken for it by a file
  // system that ignores case.
  bool MayContain(const String& Name) const;

private:
  friend class TDirectory;
  struct TEntries;
  std::unique_ptr<TEntries> fEntries;
};

// What an entry is itself, as far as a walk needs to know; a link is never taken for what it
// leads to.
struct TEntryKind {
  bool IsDirectory = false;  // a directory, not a link to one
  // POSIX: a symbolic link. Windows: a reparse point that stands for another name (a
  // junction, a symbolic link) or has no tag, as Wine gives its links; other reparse points
  // (placeholders of sync clients, deduplicated files) hold their own data and are no links.
  bool IsLink = false;
};

// Whether a link that stands last in a name is followed.
enum class TLastLink : std::uint8_t { Follow, Refuse };

// A directory of a walk. POSIX holds it open and goes relative to its descriptor, so a walk
// is not limited by the length of a path; Windows goes by full paths in the \\?\ form,
// which reaches every entry by its exact name at any length. Relative names may hold several
// components joined by PathDelim, but no "." or "..". Links are followed by the tests and
// opens, except where an entry's own kind is asked for and where TLastLink says otherwise.
//
// A subdirectory keeps only its name and refers to the directory it was opened from, so that
// a walk's memory grows with the length of its names, not with the square of its depth; that
// directory must outlive it and stay where it is.
class TDirectory {
public:
  // Opens the directory Path, a full path as ExpandFileName gives it, ending in PathDelim;
  // see IsOpen.
  static TDirectory Open(const String& Path);
  TDirectory(TDirectory&& Other) noexcept;
  ~TDirectory();

  // The full path, ending in PathDelim; known also when the directory could not be opened.
  String Path() const;
  // False when the directory could not be opened: missing, not a directory, out of reach.
  // Windows holds nothing open: it tells so for a start directory and a subdirectory opened
  // with a listing, and otherwise finds out when the directory is read or tested in.
  bool IsOpen() const { return fDescriptor != NotOpen; }

  // The subdirectory Relative. With Listing (this directory's), a name whose first component
  // the listing lacks is not looked for; one it holds is, as it may have changed meanwhile.
  // With TLastLink::Refuse, a link in Relative's last place is not followed (POSIX; Windows
  // goes by path and follows).
  TDirectory OpenSubdirectory(const String& Relative, const TDirectoryListing* Listing = nullptr,
                              TLastLink LastLink = TLastLink::Follow) const;
  // Reads the entries into Listing, once per opening. False when they could not all be read
  // (Listing then holds those that could); tests by name may still work.
  bool Read(TDirectoryListing& Listing) const;
  // As Read, for a directory read ahead of the walk: notes, before reading, what the
  // directory is and when it last changed, so that StandsAsRead can tell later whether
  // Listing still holds. Like OpenSubdirectory and Read, it may run on several threads at
  // once, as long as none releases, reopens or destroys a directory that another goes through.
  bool ReadNoted(TDirectoryListing& Listing) const;
  // Whether Listing, filled by ReadNoted, still holds when the walk arrives: this
  // directory's name in its parent still leads to the directory read, not a link, and that
  // directory has not changed since. False when it cannot be told.
  bool StandsAsRead(const TDirectoryListing& Listing) const;
  // Existence tests of Relative, with Listing used as by OpenSubdirectory.
  bool FileExists(const String& Relative, const TDirectoryListing* Listing) const;
  bool DirectoryExists(const String& Relative, const TDirectoryListing* Listing) const;
  // True when no file Relative is there, as far as can be told: the listing or the file
  // system says there is no entry of that name, or a directory stands there. False when it
  // is there, and when the file system refuses to tell.
  bool FileIsGone(const String& Relative, const TDirectoryListing* Listing) const;
  // The kind of entry Index of Listing, this directory's: from the listing where it tells,
  // else from one query.
  TEntryKind KindOfEntry(const TDirectoryListing& Listing, std::size_t Index) const;
  // The kind of the entry Name, asked of the file system; that of no entry when it is missing.
  TEntryKind KindOf(const String& Name) const;

  // The times of FileName, as uCompatibility's GetFileTimes gives them for a full path.
  bool GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime,
                    TFileTime& LastAccessTime) const;
  // As the rtl's SetFileLastWriteTime for a full path: a link is not followed.
  bool SetFileLastWriteTime(const String& FileName, const TFileTime& LastWriteTime) const;

  // Gives up the handle, if the platform holds one, keeping its identity; nothing may be
  // asked of the directory until ReopenFrom.
  void Release();
  // Opens the released directory again, as the parent of Child (a subdirectory opened
  // from it, open or not): cheaply when Child's parent is still this directory, else by path.
  void ReopenFrom(const TDirectory& Child);

private:
  static constexpr int NotOpen = -1;

  TDirectory(const TDirectory* Parent, String Name, int Descriptor)
      : fParent(Parent), fName(std::move(Name)), fDescriptor(Descriptor) {}

  // Null for a start directory, whose name is its full path.
  const TDirectory* fParent;
  String fName;  // ends in PathDelim
  // POSIX: the open descriptor. Windows goes by path: any value but NotOpen marks it found.
  int fDescriptor;
  // POSIX: which directory a released one was, to tell whether reopening found it again.
  std::optional<TFileIdentity> fIdentity;
};

// The file operations on packs, kept apart so that tests can make them fail: a real tree
// cannot be made to refuse reading a time or to refuse a change; and what counts as a slow
// read, so that tests can have a tree that the cache holds walked as a cold one.
class TEngineFileSystem {
public:
  using TDuration = std::chrono::steady_clock::duration;

  virtual ~TEngineFileSystem() = default;

  // The times of FileName in Directory; false, with zero times, when they cannot be read.
  virtual bool GetFileTimes(const TDirectory& Directory, const String& FileName, TFileTime& CreationTime,
                            TFileTime& LastWriteTime, TFileTime& LastAccessTime) = 0;
  // Sets only the last-write time of FileName in Directory, never through a link; false when
  // the file cannot be opened for it or the time is refused.
  virtual bool SetFileLastWriteTime(const TDirectory& Directory, const String& FileName,
                                    const TFileTime& LastWriteTime) = 0;
  // Whether reading a directory of Entries entries in Duration went to a disk or a network
  // rather than the cache. Called from several threads at once.
  virtual bool IsSlowRead(TDuration Duration, std::size_t Entries) = 0;
};

// The platform's file system.
class TRealEngineFileSystem : public TEngineFileSystem {
public:
  bool GetFileTimes(const TDirectory& Directory, const String& FileName, TFileTime& CreationTime,
                    TFileTime& LastWriteTime, TFileTime& LastAccessTime) override;
  bool SetFileLastWriteTime(const TDirectory& Directory, const String& FileName,
                            const TFileTime& LastWriteTime) override;
  bool IsSlowRead(TDuration Duration, std::size_t Entries) override;
};
