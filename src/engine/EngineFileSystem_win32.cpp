#include "engine/EngineFileSystem.h"

#include <windows.h>
// <windows.h> maps this name to GetVolumePathNameW, which would clash with the field of that
// name in uCompatibility.h.
#undef GetVolumePathName

#include <string_view>
#include <vector>

#include "compat/uCompatibility.h"
#include "rtl/Path.h"

namespace {

// What a listing says of a relative name: a name it lacks does not exist on this file system,
// which ignores case; a plain entry's attributes tell its kind.
enum class TListingAnswer { Missing, File, Directory, AskTheFileSystem };

}  // namespace

struct TDirectoryListing::TEntries {
  struct TEntry {
    std::uint32_t Offset;  // of the name in Names
    std::uint32_t Length;
    DWORD Attributes;
  };

  std::vector<TEntry> Entries;
  String Names;

  std::u16string_view ViewOf(std::size_t index) const {
    return std::u16string_view(Names).substr(Entries[index].Offset, Entries[index].Length);
  }

  // The entry named Name, case ignored as the file system ignores it; Count() when none is.
  std::size_t Find(std::u16string_view name) const;
  TListingAnswer Consult(const String& relative) const;
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

// From MAX_PATH characters on, paths work only with the \\?\ prefix, which also turns off
// the normalisation that paths made of listed names have no need of.
String LongPathForm(const String& path) {
  if (path.size() < MAX_PATH || path.starts_with(u"\\\\?\\") || path.starts_with(u"\\\\.\\")) return path;
  if (path.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + path.substr(2);
  return u"\\\\?\\" + path;
}

String FirstComponent(const String& relative) { return relative.substr(0, relative.find(PathDelim)); }

// Windows keeps no handle: a directory is found or not.
constexpr int Found = 0;

}  // namespace

std::size_t TDirectoryListing::TEntries::Find(std::u16string_view name) const {
  for (std::size_t i = 0; i < Entries.size(); ++i) {
    if (SameName(ViewOf(i), name)) return i;
  }
  return Entries.size();
}

TListingAnswer TDirectoryListing::TEntries::Consult(const String& relative) const {
  const String first = FirstComponent(relative);
  const std::size_t index = Find(first);
  if (index == Entries.size()) return TListingAnswer::Missing;
  const DWORD attributes = Entries[index].Attributes;
  // A link's own attributes do not tell what it leads to.
  if (first.size() != relative.size() || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return TListingAnswer::AskTheFileSystem;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? TListingAnswer::Directory : TListingAnswer::File;
}

TDirectoryListing::TDirectoryListing() : fEntries(std::make_unique<TEntries>()) {}

TDirectoryListing::~TDirectoryListing() = default;

std::size_t TDirectoryListing::Count() const { return fEntries->Entries.size(); }

String TDirectoryListing::Name(std::size_t Index) const { return String(fEntries->ViewOf(Index)); }

bool TDirectoryListing::NameMatches(std::size_t Index, const String& Mask) const {
  return MatchesMask(fEntries->ViewOf(Index), Mask);
}

bool TDirectoryListing::MayContain(const String& Name) const { return fEntries->Find(Name) != Count(); }

TDirectory TDirectory::Open(const String& Path) {
  return TDirectory(nullptr, Path, ::DirectoryExists(LongPathForm(Path)) ? Found : NotOpen);
}

TDirectory::~TDirectory() = default;

TDirectory TDirectory::OpenSubdirectory(const String& Relative, const TDirectoryListing* Listing) const {
  const bool found = Listing == nullptr ? IsOpen() : DirectoryExists(Relative, Listing);
  return TDirectory(this, Relative + PathDelim, found ? Found : NotOpen);
}

bool TDirectory::Read(TDirectoryListing& Listing) const {
  TDirectoryListing::TEntries& entries = *Listing.fEntries;
  entries.Entries.clear();
  entries.Names.clear();
  if (!IsOpen()) return false;
  WIN32_FIND_DATAW data;
  // The basic information leaves out the short name, which costs the file system a lookup;
  // the large fetch asks for many entries per call.
  const HANDLE search = FindFirstFileExW(W(LongPathForm(Path() + u"*")), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::u16string_view name = reinterpret_cast<const Char*>(data.cFileName);
    if (name == u"." || name == u"..") continue;
    entries.Entries.push_back({static_cast<std::uint32_t>(entries.Names.size()),
                               static_cast<std::uint32_t>(name.size()), data.dwFileAttributes});
    entries.Names += name;
  } while (FindNextFileW(search, &data));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  return complete;
}

bool TDirectory::FileExists(const String& Relative, const TDirectoryListing* Listing) const {
  if (!IsOpen()) return false;
  switch (Listing != nullptr ? Listing->fEntries->Consult(Relative) : TListingAnswer::AskTheFileSystem) {
    case TListingAnswer::File: return true;
    case TListingAnswer::AskTheFileSystem: return ::FileExists(LongPathForm(Path() + Relative));
    default: return false;
  }
}

bool TDirectory::DirectoryExists(const String& Relative, const TDirectoryListing* Listing) const {
  if (!IsOpen()) return false;
  switch (Listing != nullptr ? Listing->fEntries->Consult(Relative) : TListingAnswer::AskTheFileSystem) {
    case TListingAnswer::Directory: return true;
    case TListingAnswer::AskTheFileSystem: return ::DirectoryExists(LongPathForm(Path() + Relative));
    default: return false;
  }
}

TEntryKind TDirectory::KindOfEntry(const TDirectoryListing& Listing, std::size_t Index) const {
  const DWORD attributes = Listing.fEntries->Entries[Index].Attributes;
  TEntryKind kind;
  kind.IsDirectory = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  kind.IsLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  if (kind.IsDirectory && kind.IsLink) kind.LinkTarget = GetFileIdentity(LongPathForm(Path() + Listing.Name(Index)));
  return kind;
}

std::optional<TFileIdentity> TDirectory::Identity() const {
  if (!fIdentity && IsOpen()) fIdentity = GetFileIdentity(LongPathForm(Path()));
  return fIdentity;
}

bool TDirectory::GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime,
                              TFileTime& LastAccessTime) const {
  if (!IsOpen()) {
    CreationTime = LastWriteTime = LastAccessTime = TFileTime{};
    return false;
  }
  return ::GetFileTimes(LongPathForm(Path() + FileName), CreationTime, LastWriteTime, LastAccessTime);
}

bool TDirectory::SetFileLastWriteTime(const String& FileName, const TFileTime& LastWriteTime) const {
  return IsOpen() && ::SetFileLastWriteTime(LongPathForm(Path() + FileName), LastWriteTime);
}

// Nothing is held between calls, so there is nothing to give up or take back.
void TDirectory::Release() {}

void TDirectory::ReopenFrom(const TDirectory&) {}
