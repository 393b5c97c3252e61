#include "engine/EngineFileSystem.h"

#include <windows.h>
// <windows.h> maps this name to GetVolumePathNameW, which would clash with the field of that
// name in uCompatibility.h.
#undef GetVolumePathName

#include <optional>
#include <string_view>
#include <vector>

#include "compat/uCompatibility.h"
#include "rtl/FileSystem_win32.h"
#include "rtl/Path.h"

struct TDirectoryListing::TEntries {
  struct TEntry {
    std::uint32_t Offset;  // of the name in Names
    std::uint32_t Length;
    DWORD Attributes;
    DWORD ReparseTag;
  };

  // What a directory read ahead was and when it last changed, as its attributes tell.
  struct TNote {
    DWORD Attributes;
    FILETIME Created;
    FILETIME Written;

    bool operator==(const TNote& other) const {
      return Attributes == other.Attributes && Same(Created, other.Created) && Same(Written, other.Written);
    }
    static bool Same(const FILETIME& a, const FILETIME& b) {
      return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
    }
    // Those of the directory Path (ending in PathDelim, not a root), a link not followed;
    // nothing when they cannot be read.
    static std::optional<TNote> Of(const String& path);
  };

  std::vector<TEntry> Entries;
  String Names;
  std::optional<TNote> Note;  // set by ReadNoted only

  std::u16string_view ViewOf(std::size_t index) const {
    return std::u16string_view(Names).substr(Entries[index].Offset, Entries[index].Length);
  }
};

namespace {

const wchar_t* W(const String& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// Case ignored by the system's own upper-case table, the one its file systems compare names by.
bool SameName(std::u16string_view a, std::u16string_view b) {
  return CompareStringOrdinal(reinterpret_cast<const wchar_t*>(a.data()), static_cast<int>(a.size()),
                              reinterpret_cast<const wchar_t*>(b.data()), static_cast<int>(b.size()),
                              TRUE) == CSTR_EQUAL;
}

// "*" and "?" as the platform's search matches them, case ignored.
bool MatchesMask(std::u16string_view name, std::u16string_view mask) {
  constexpr std::size_t none = std::u16string_view::npos;
  std::size_t n = 0, m = 0, starInMask = none, starInName = none;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == u'*') {
      starInMask = m++;
      starInName = n;
    } else if (m < mask.size() && (mask[m] == u'?' || SameName(mask.substr(m, 1), name.substr(n, 1)))) {
      ++m;
      ++n;
    } else if (starInMask != none) {
      m = starInMask + 1;
      n = ++starInName;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

String FirstComponent(const String& relative) { return relative.substr(0, relative.find(PathDelim)); }

// Windows keeps no handle: a directory is found or not.
constexpr int Found = 0;

}  // namespace

TDirectoryListing::TDirectoryListing() : fEntries(std::make_unique<TEntries>()) {}

TDirectoryListing::~TDirectoryListing() = default;

std::size_t TDirectoryListing::Count() const { return fEntries->Entries.size(); }

String TDirectoryListing::Name(std::size_t Index) const { return String(fEntries->ViewOf(Index)); }

bool TDirectoryListing::NameMatches(std::size_t Index, const String& Mask) const {
  return MatchesMask(fEntries->ViewOf(Index), Mask);
}

// A name that no entry has, case ignored as the file system ignores it, does not exist.
bool TDirectoryListing::MayContain(const String& Name) const {
  for (std::size_t i = 0; i < Count(); ++i) {
    if (SameName(fEntries->ViewOf(i), Name)) return true;
  }
  return false;
}

TDirectory TDirectory::Open(const String& Path) {
  return TDirectory(nullptr, Path, ::DirectoryExists(Path) ? Found : NotOpen);
}

TDirectory::~TDirectory() = default;

namespace {

// Whether Relative can be looked for below Directory at all.
bool MayReach(const TDirectory& directory, const String& relative, const TDirectoryListing* listing) {
  return directory.IsOpen() && (listing == nullptr || listing->MayContain(FirstComponent(relative)));
}

}  // namespace

// Nothing is opened. Without a listing the name came from one, as a directory's.
TDirectory TDirectory::OpenSubdirectory(const String& Relative, const TDirectoryListing* Listing, TLastLink) const {
  const bool found = Listing == nullptr ? IsOpen() : DirectoryExists(Relative, Listing);
  return TDirectory(this, Relative + PathDelim, found ? Found : NotOpen);
}

bool TDirectory::Read(TDirectoryListing& Listing) const {
  TDirectoryListing::TEntries& entries = *Listing.fEntries;
  entries.Entries.clear();
  entries.Names.clear();
  entries.Note.reset();
  if (!IsOpen()) return false;
  WIN32_FIND_DATAW data;
  // The basic information leaves out the short name, which costs the file system a lookup;
  // the large fetch asks for many entries per call.
  const HANDLE search = FindFirstFileExW(W(ExtendedPath(Path() + u"*")), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::u16string_view name = reinterpret_cast<const Char*>(data.cFileName);
    if (name == u"." || name == u"..") continue;
    // A search's data carries the reparse tag in dwReserved0.
    entries.Entries.push_back({static_cast<std::uint32_t>(entries.Names.size()),
                               static_cast<std::uint32_t>(name.size()), data.dwFileAttributes, data.dwReserved0});
    entries.Names += name;
  } while (FindNextFileW(search, &data));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

std::optional<TDirectoryListing::TEntries::TNote> TDirectoryListing::TEntries::TNote::Of(const String& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(W(ExtendedPath(path.substr(0, path.size() - 1))), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return TNote{data.dwFileAttributes, data.ftCreationTime, data.ftLastWriteTime};
}

bool TDirectory::ReadNoted(TDirectoryListing& Listing) const {
  // Noted before the entries are read: a change while they are read shows as one after.
  std::optional<TDirectoryListing::TEntries::TNote> note = IsOpen() ? TDirectoryListing::TEntries::TNote::Of(Path()) : std::nullopt;
  const bool complete = Read(Listing);
  Listing.fEntries->Note = note;
  return complete;
}

// A directory's last-write time moves whenever an entry comes or goes; one that another
// directory or a link took the place of differs in its creation time or attributes.
bool TDirectory::StandsAsRead(const TDirectoryListing& Listing) const {
  const std::optional<TDirectoryListing::TEntries::TNote>& note = Listing.fEntries->Note;
  if (!note || !IsOpen() || fParent == nullptr) return false;
  const std::optional<TDirectoryListing::TEntries::TNote> now = TDirectoryListing::TEntries::TNote::Of(Path());
  return now && *now == *note;
}

// A name the listing holds is still asked for: the entry may have changed since it was read.
bool TDirectory::FileExists(const String& Relative, const TDirectoryListing* Listing) const {
  return MayReach(*this, Relative, Listing) && ::FileExists(Path() + Relative);
}

bool TDirectory::DirectoryExists(const String& Relative, const TDirectoryListing* Listing) const {
  return MayReach(*this, Relative, Listing) && ::DirectoryExists(Path() + Relative);
}

bool TDirectory::FileIsGone(const String& Relative, const TDirectoryListing* Listing) const {
  if (!MayReach(*this, Relative, Listing)) return true;
  const DWORD attributes = GetFileAttributesW(W(ExtendedPath(Path() + Relative)));
  if (attributes != INVALID_FILE_ATTRIBUTES) return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

namespace {

// Wine marks its links as reparse points without a tag.
TEntryKind KindOfAttributes(DWORD attributes, DWORD reparseTag) {
  const bool isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
                      (reparseTag == 0 || IsReparseTagNameSurrogate(reparseTag));
  return TEntryKind{(attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 && !isLink, isLink};
}

}  // namespace

TEntryKind TDirectory::KindOfEntry(const TDirectoryListing& Listing, std::size_t Index) const {
  const TDirectoryListing::TEntries::TEntry& entry = Listing.fEntries->Entries[Index];
  return KindOfAttributes(entry.Attributes, entry.ReparseTag);
}

// Only a search tells the reparse tag of an entry.
TEntryKind TDirectory::KindOf(const String& Name) const {
  if (!IsOpen()) return {};
  WIN32_FIND_DATAW data;
  const HANDLE search = FindFirstFileExW(W(ExtendedPath(Path() + Name)), FindExInfoBasic, &data,
                                         FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return {};
  FindClose(search);
  return KindOfAttributes(data.dwFileAttributes, data.dwReserved0);
}

bool TDirectory::GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime,
                              TFileTime& LastAccessTime) const {
  if (!IsOpen()) {
    CreationTime = LastWriteTime = LastAccessTime = TFileTime{};
    return false;
  }
  // uCompatibility hands the name to the system as it is.
  return ::GetFileTimes(ExtendedPath(Path() + FileName), CreationTime, LastWriteTime, LastAccessTime);
}

bool TDirectory::SetFileLastWriteTime(const String& FileName, const TFileTime& LastWriteTime) const {
  return IsOpen() && ::SetFileLastWriteTime(Path() + FileName, LastWriteTime);
}

// Nothing is held between calls, so there is nothing to give up or take back.
void TDirectory::Release() {}

void TDirectory::ReopenFrom(const TDirectory&) {}
