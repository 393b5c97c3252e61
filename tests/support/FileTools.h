#pragma once
// File-system facts and set-ups for tests, made with the platform's own calls rather than
// with the units under test.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>

#include "rtl/FileSystem.h"

struct TStoredTimes {
  TFileTime LastWrite;
  TFileTime LastAccess;
};

// The times stored for Path itself (a link is not followed); nothing when unreadable.
std::optional<TStoredTimes> StoredTimes(const std::filesystem::path& path);

// The platform's attribute word for Path itself (Windows: attribute bits; POSIX: st_mode).
std::uint32_t StoredAttributes(const std::filesystem::path& path);

// Marks Path read-only, and on Windows also hidden and system.
void MakeReadOnlyHidden(const std::filesystem::path& path);

enum class TLinkTarget { File, Directory };

// Makes Link a link to Target. False when the platform cannot (Wine's links are a no-op).
bool MakeLink(const std::filesystem::path& link, const std::filesystem::path& target, TLinkTarget kind);

// Makes Directory the current directory until the object goes.
class TCurrentDirectory {
public:
  explicit TCurrentDirectory(const std::filesystem::path& directory) : fPrevious(std::filesystem::current_path()) {
    std::filesystem::current_path(directory);
  }
  ~TCurrentDirectory() { std::filesystem::current_path(fPrevious); }
  TCurrentDirectory(const TCurrentDirectory&) = delete;
  TCurrentDirectory& operator=(const TCurrentDirectory&) = delete;

private:
  std::filesystem::path fPrevious;
};

// A hold on a file that lasts while the object lives.
class TFileHold {
public:
  TFileHold(const TFileHold&) = delete;
  TFileHold& operator=(const TFileHold&) = delete;
  // False when the platform refused; the test then has to skip.
  bool Holds() const { return static_cast<bool>(fRelease); }

protected:
  TFileHold() = default;
  ~TFileHold() {
    if (fRelease) fRelease();
  }
  std::function<void()> fRelease;
};

// Keeps a file from being deleted. Windows holds it open without delete sharing; POSIX marks
// it immutable when running as root (who ignores permission bits), else write-protects its
// directory, so keep the file alone in that directory.
class TUndeletableFile : public TFileHold {
public:
  explicit TUndeletableFile(const std::filesystem::path& file);
};

// Makes File immutable: its content, times and attributes cannot be changed, not even by
// root. POSIX sets the file system's immutable flag, which takes the privilege to do so;
// Windows has no such flag, but under Wine the host's chattr sets it.
class TImmutableFile : public TFileHold {
public:
  explicit TImmutableFile(const std::filesystem::path& file);
};

// Holds File open for reading; on Windows sharing nothing with other openers, so that every
// other open that asks for its data is refused.
class TExclusivelyOpenFile : public TFileHold {
public:
  explicit TExclusivelyOpenFile(const std::filesystem::path& file);
};
