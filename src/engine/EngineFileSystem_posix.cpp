#include "engine/EngineFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "rtl/Path.h"
#include "rtl/Utf8.h"

struct TDirectoryListing::TEntries {
  struct TEntry {
    std::uint32_t Offset;  // of the name in Names
    std::uint32_t Length;
    unsigned char Type;  // as the listing gives it: DT_DIR, DT_LNK, DT_UNKNOWN, ...
  };

  // What a directory read ahead was and when it last changed, as its status tells.
  struct TNote {
    dev_t Device;
    ino_t Inode;
    mode_t Mode;
    timespec Modified;
    timespec Changed;

    bool operator==(const TNote& other) const {
      return Device == other.Device && Inode == other.Inode && Mode == other.Mode && Same(Modified, other.Modified) &&
             Same(Changed, other.Changed);
    }
    static bool Same(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }
    static TNote Of(const struct stat& status) {
      return {status.st_dev, status.st_ino, status.st_mode, status.st_mtim, status.st_ctim};
    }
  };

  std::vector<TEntry> Entries;
  // Every name followed by a NUL, so that it goes to the system as it is.
  std::string Names;
  std::optional<TNote> Note;  // set by ReadNoted only

  const char* NameOf(std::size_t index) const { return Names.data() + Entries[index].Offset; }
  std::string_view ViewOf(std::size_t index) const { return {NameOf(index), Entries[index].Length}; }

  void Add(std::string_view name, unsigned char type) {
    Entries.push_back({static_cast<std::uint32_t>(Names.size()), static_cast<std::uint32_t>(name.size()), type});
    (Names += name) += '\0';
  }
};

namespace {

std::string Native(const String& name) { return StringToUtf8Bytes(name); }

String FirstComponent(const String& relative) { return relative.substr(0, relative.find(PathDelim)); }

TFileTime ToFileTime(const timespec& time) {
  return TFileTime{static_cast<std::int64_t>(time.tv_sec), static_cast<std::uint32_t>(time.tv_nsec)};
}

TFileIdentity IdentityOf(const struct stat& status) {
  return TFileIdentity{static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino)};
}

// Opens Name below Base (a descriptor, or AT_FDCWD) as a directory, following links. A
// directory that may be searched but not read is opened all the same: its entries can still
// be tested by name, as a walk by full paths would.
int OpenDirectoryAt(int base, const char* name, TLastLink lastLink = TLastLink::Follow) {
  const int flags = O_DIRECTORY | O_CLOEXEC | (lastLink == TLastLink::Refuse ? O_NOFOLLOW : 0);
  const int descriptor = openat(base, name, O_RDONLY | flags);
  if (descriptor >= 0 || errno != EACCES) return descriptor;
  return openat(base, name, O_PATH | flags);
}

// Opens the directory Path one component at a time, so that no limit on the length of a
// path applies. -1 when a component cannot be opened.
int OpenComponentByComponent(std::string_view path) {
  int directory = OpenDirectoryAt(AT_FDCWD, "/");
  for (std::size_t start = 0; directory >= 0 && start < path.size();) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) {
      const int next = OpenDirectoryAt(directory, std::string(path.substr(start, end - start)).c_str());
      close(directory);
      directory = next;
    }
    start = end + 1;
  }
  return directory;
}

// Letters beyond ASCII that case folding or canonical decomposition turns into ASCII ones,
// in UTF-8.
constexpr std::pair<std::string_view, std::string_view> AsciiFoldings[] = {
    {"\xC3\x9F", "ss"},      // sharp s
    {"\xC4\xB0", "i"},       // capital I with dot above
    {"\xC4\xB1", "i"},       // dotless i
    {"\xC5\xBF", "s"},       // long s
    {"\xCD\xBE", ";"},       // Greek question mark
    {"\xE1\xBA\x9E", "ss"},  // capital sharp s
    {"\xE1\xBF\xAF", "`"},   // Greek varia
    {"\xE2\x84\xAA", "k"},   // Kelvin sign
    {"\xEF\xAC\x80", "ff"},  {"\xEF\xAC\x81", "fi"}, {"\xEF\xAC\x82", "fl"}, {"\xEF\xAC\x83", "ffi"},
    {"\xEF\xAC\x84", "ffl"}, {"\xEF\xAC\x85", "st"}, {"\xEF\xAC\x86", "st"},  // ligatures
};

bool IsAscii(std::string_view name) {
  return std::ranges::all_of(name, [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// What a file system that ignores case goes by in a name, at most: ASCII in lower case and
// the letters above as their ASCII forms. Everything else beyond ASCII is dropped (and
// noted), as such file systems differ in what they fold, decompose or ignore there.
struct TSkeleton {
  std::string Text;
  bool Dropped = false;
};

TSkeleton SkeletonOf(std::string_view name) {
  TSkeleton skeleton;
  for (std::size_t i = 0; i < name.size();) {
    if (static_cast<unsigned char>(name[i]) < 0x80) {
      skeleton.Text += AsciiLower(name[i++]);
      continue;
    }
    const auto folding = std::ranges::find_if(
        AsciiFoldings, [&](const auto& candidate) { return name.substr(i).starts_with(candidate.first); });
    if (folding != std::end(AsciiFoldings)) {
      skeleton.Text += folding->second;
      i += folding->first.size();
    } else {
      skeleton.Dropped = true;
      ++i;
    }
  }
  return skeleton;
}

// Whether a file system that ignores case could take the listed name for the one whose
// skeleton Wanted is. Where both names hold letters of their own beyond ASCII, nothing
// cheap can tell.
bool MayBeTakenFor(std::string_view listed, const TSkeleton& wanted) {
  if (IsAscii(listed)) {
    return listed.size() == wanted.Text.size() &&
           std::ranges::equal(listed, wanted.Text, [](char a, char b) { return AsciiLower(a) == b; });
  }
  const TSkeleton skeleton = SkeletonOf(listed);
  return (skeleton.Dropped && wanted.Dropped) || skeleton.Text == wanted.Text;
}

}  // namespace

TDirectoryListing::TDirectoryListing() : fEntries(std::make_unique<TEntries>()) {}

TDirectoryListing::~TDirectoryListing() = default;

std::size_t TDirectoryListing::Count() const { return fEntries->Entries.size(); }

String TDirectoryListing::Name(std::size_t Index) const { return Utf8BytesToString(fEntries->ViewOf(Index)); }

bool TDirectoryListing::NameMatches(std::size_t Index, const String& Mask) const {
  // No FNM_PERIOD: "*" matches names that begin with a dot too.
  return fnmatch(Native(Mask).c_str(), fEntries->NameOf(Index), 0) == 0;
}

bool TDirectoryListing::MayContain(const String& Name) const {
  const std::string wanted = Native(Name);
  const TSkeleton skeleton = SkeletonOf(wanted);
  for (std::size_t i = 0; i < Count(); ++i) {
    const std::string_view listed = fEntries->ViewOf(i);
    if (listed == wanted || MayBeTakenFor(listed, skeleton)) return true;
  }
  return false;
}

TDirectory TDirectory::Open(const String& Path) {
  return TDirectory(nullptr, Path, OpenDirectoryAt(AT_FDCWD, Native(Path).c_str()));
}

TDirectory::~TDirectory() {
  if (IsOpen()) close(fDescriptor);
}

namespace {

// Whether Relative can be looked for below Directory at all: a name the listing lacks cannot
// be found by asking.
bool MayReach(const TDirectory& directory, const String& relative, const TDirectoryListing* listing) {
  return directory.IsOpen() && (listing == nullptr || listing->MayContain(FirstComponent(relative)));
}

}  // namespace

TDirectory TDirectory::OpenSubdirectory(const String& Relative, const TDirectoryListing* Listing,
                                        TLastLink LastLink) const {
  const int descriptor =
      MayReach(*this, Relative, Listing) ? OpenDirectoryAt(fDescriptor, Native(Relative).c_str(), LastLink) : NotOpen;
  return TDirectory(this, Relative + PathDelim, descriptor);
}

bool TDirectory::Read(TDirectoryListing& Listing) const {
  TDirectoryListing::TEntries& entries = *Listing.fEntries;
  entries.Entries.clear();
  entries.Names.clear();
  entries.Note.reset();
  if (!IsOpen()) return false;
  // Room for the records of one read, one per thread, as several may read at once; large, so
  // that most directories take one read and the one that says the end.
  static thread_local std::vector<char> records(64 * 1024);
  for (;;) {
    const ssize_t size = getdents64(fDescriptor, records.data(), records.size());
    if (size <= 0) return size == 0;
    for (ssize_t offset = 0; offset < size;) {
      const char* record = records.data() + offset;
      unsigned short length;
      unsigned char type;
      std::memcpy(&length, record + offsetof(dirent64, d_reclen), sizeof length);
      std::memcpy(&type, record + offsetof(dirent64, d_type), sizeof type);
      const std::string_view name = record + offsetof(dirent64, d_name);
      if (name != "." && name != "..") entries.Add(name, type);
      offset += length;
    }
  }
}

bool TDirectory::ReadNoted(TDirectoryListing& Listing) const {
  // Noted before the entries are read: a change while they are read shows as one after.
  struct stat status;
  const bool noted = IsOpen() && fstat(fDescriptor, &status) == 0;
  const bool complete = Read(Listing);
  if (noted) Listing.fEntries->Note = TDirectoryListing::TEntries::TNote::Of(status);
  return complete;
}

bool TDirectory::StandsAsRead(const TDirectoryListing& Listing) const {
  const std::optional<TDirectoryListing::TEntries::TNote>& note = Listing.fEntries->Note;
  if (!note || !IsOpen() || fParent == nullptr || !fParent->IsOpen()) return false;
  // Unmoved times tell that no entry came or went. Linux gives a change that follows a query
  // of the times a time of its own, even within one tick of its clock; where it does not
  // (before 6.13, some file systems), a change in the same tick as the last one before the
  // read goes unseen.
  struct stat status;
  const std::string name = Native(fName.substr(0, fName.size() - 1));
  return fstatat(fParent->fDescriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && TDirectoryListing::TEntries::TNote::Of(status) == *note;
}

bool TDirectory::FileExists(const String& Relative, const TDirectoryListing* Listing) const {
  struct stat status;
  return MayReach(*this, Relative, Listing) && fstatat(fDescriptor, Native(Relative).c_str(), &status, 0) == 0 &&
         !S_ISDIR(status.st_mode);
}

bool TDirectory::DirectoryExists(const String& Relative, const TDirectoryListing* Listing) const {
  struct stat status;
  return MayReach(*this, Relative, Listing) && fstatat(fDescriptor, Native(Relative).c_str(), &status, 0) == 0 &&
         S_ISDIR(status.st_mode);
}

bool TDirectory::FileIsGone(const String& Relative, const TDirectoryListing* Listing) const {
  if (!MayReach(*this, Relative, Listing)) return true;
  struct stat status;
  if (fstatat(fDescriptor, Native(Relative).c_str(), &status, 0) == 0) return S_ISDIR(status.st_mode);
  return errno == ENOENT || errno == ENOTDIR;
}

namespace {

// The type of the entry Name below Directory as a listing gives it; DT_UNKNOWN when missing.
unsigned char TypeOf(int directory, const char* name) {
  struct stat status;
  if (fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) != 0) return DT_UNKNOWN;
  return S_ISLNK(status.st_mode) ? DT_LNK : S_ISDIR(status.st_mode) ? DT_DIR : DT_REG;
}

TEntryKind KindOfType(unsigned char type) { return TEntryKind{type == DT_DIR, type == DT_LNK}; }

}  // namespace

TEntryKind TDirectory::KindOfEntry(const TDirectoryListing& Listing, std::size_t Index) const {
  const unsigned char type = Listing.fEntries->Entries[Index].Type;
  // Some file systems leave the type open in their listings.
  return KindOfType(type == DT_UNKNOWN ? TypeOf(fDescriptor, Listing.fEntries->NameOf(Index)) : type);
}

TEntryKind TDirectory::KindOf(const String& Name) const {
  if (!IsOpen()) return {};
  return KindOfType(TypeOf(fDescriptor, Native(Name).c_str()));
}

bool TDirectory::GetFileTimes(const String& FileName, TFileTime& CreationTime, TFileTime& LastWriteTime,
                              TFileTime& LastAccessTime) const {
  CreationTime = LastWriteTime = LastAccessTime = TFileTime{};
  if (!IsOpen()) return false;
  const std::string name = Native(FileName);
  struct stat status;
  // A link whose target cannot be reached still has times of its own.
  if (fstatat(fDescriptor, name.c_str(), &status, 0) != 0 &&
      fstatat(fDescriptor, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return false;
  }
  // There is no creation time here: the status-change time stands in for it.
  CreationTime = ToFileTime(status.st_ctim);
  LastWriteTime = ToFileTime(status.st_mtim);
  LastAccessTime = ToFileTime(status.st_atim);
  return true;
}

bool TDirectory::SetFileLastWriteTime(const String& FileName, const TFileTime& LastWriteTime) const {
  timespec times[2] = {};
  times[0].tv_nsec = UTIME_OMIT;  // the access time stays as it is
  times[1].tv_sec = static_cast<time_t>(LastWriteTime.High);
  times[1].tv_nsec = static_cast<long>(LastWriteTime.Low);
  return IsOpen() && utimensat(fDescriptor, Native(FileName).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0;
}

void TDirectory::Release() {
  if (!IsOpen()) return;
  struct stat status;
  if (fstat(fDescriptor, &status) == 0) fIdentity = IdentityOf(status);
  close(fDescriptor);
  fDescriptor = NotOpen;
}

void TDirectory::ReopenFrom(const TDirectory& Child) {
  if (Child.IsOpen()) {
    fDescriptor = OpenDirectoryAt(Child.fDescriptor, "..");
    struct stat status;
    if (IsOpen() && fstat(fDescriptor, &status) == 0 && fIdentity == IdentityOf(status)) return;
    if (IsOpen()) close(fDescriptor);
  }
  // Child was reached through a link (a ".git" that is one: its ".." is elsewhere), or things
  // moved meanwhile.
  fDescriptor = OpenComponentByComponent(Native(Path()));
}
