#pragma once
// Trees beyond the platform's path limit, where std::filesystem gives up: POSIX goes from one
// directory to the next by descriptors, Windows uses the \\?\ form of full paths.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>

#include "rtl/FileSystem.h"
#include "rtl/String.h"

// The bottom of a chain of nested directories of one name, made where missing. Names below
// it are relative paths of a few components, joined by '/'.
class TDeepDirectory {
public:
  TDeepDirectory(const std::filesystem::path& root, const std::filesystem::path& name, std::size_t depth);
  ~TDeepDirectory();
  TDeepDirectory(const TDeepDirectory&) = delete;
  TDeepDirectory& operator=(const TDeepDirectory&) = delete;

  // False when a directory of the chain could not be made or opened.
  bool Made() const { return fMade; }
  // The full path, as the units see it: without a prefix, without a trailing delimiter.
  const String& Path() const { return fPath; }

  // Each false or empty when the operation failed.
  bool MakeDir(std::string_view relative) const;  // with its missing parents
  bool WriteFile(std::string_view relative, std::string_view content = {}) const;
  std::optional<TFileTime> LastWriteTime(std::string_view relative) const;
  bool SetLastWriteTime(std::string_view relative, const TFileTime& time) const;

private:
  String fPath;
  bool fMade = false;
  int fDescriptor = -1;  // POSIX: the bottom directory, held open
  String fLongPath;      // Windows: fPath in its \\?\ form
};

// Removes the tree Root with everything in it, whatever its depth; links are removed, never
// followed; read-only entries go too. False when something stayed.
bool RemoveDeepTree(const std::filesystem::path& root);
