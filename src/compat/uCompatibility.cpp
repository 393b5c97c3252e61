#include "compat/uCompatibility.h"

#include <memory>

#include "compat/uCompatibility_platform.h"
#include "rtl/Path.h"

const std::array<std::u16string_view, 20> WindowsVersionNames = {
    u"",
    u"Windows 95",
    u"Windows 98",
    u"Windows ME",
    u"Windows NT",
    u"Windows 2000",
    u"Windows XP",
    u"Windows Server2003",
    u"Windows Vista",
    u"Windows 7",
    u"Windows 8",
    u"Windows 8.1",
    u"Windows 10",
    u"Windows Server 2008",
    u"Windows Server 2008 R2",
    u"Windows Server 2012",
    u"Windows Server 2012 R2",
    u"Windows Server 2016",
    u"Windows Home Server",
    u"Windows Server 2003 R2",
};

namespace {

TOptionalEntryPoints gEntryPoints;
std::unique_ptr<TStringList> gFilesToDeleteOnExit;

// Deletes the real directory Directory (ending in a delimiter) and everything in it. Links
// met inside are removed themselves: following one would reach outside the tree.
bool DeleteTree(const String& Directory) {
  bool result = true;
  for (TFileSearch search(Directory + String(AllFilesMask)); search.Found(); search.Next()) {
    const TSearchEntry& entry = search.Entry();
    if (entry.Name == u"." || entry.Name == u"..") continue;
    const String path = Directory + entry.Name;
    const bool deleted = entry.IsLink ? RemoveLink(path)
                         : entry.IsDirectory() ? DeleteTree(path + PathDelim)
                                               : ForceRemoveFile(path);
    if (!deleted) result = false;
  }
  return result && RemoveEmptyDirectory(Directory.substr(0, Directory.size() - 1));
}

// Both existence tests follow links; DeleteDirectoryTree then takes a listed link to a
// directory away as a link.
void DeleteListedPaths(const TStringList& Paths) {
  for (const String& path : Paths) {
    if (DirectoryExists(path)) {
      DeleteDirectoryTree(path);
    } else if (FileExists(path)) {
      RemoveFile(path);
    }
  }
}

}  // namespace

bool DeleteDirectoryTree(const String& Directory) {
  if (Directory.empty()) return true;
  const String directory = IncludeTrailingPathDelimiter(Directory);
  const String itself = directory.substr(0, directory.size() - 1);
  if (IsLink(itself)) return RemoveLink(itself);
  return DeleteTree(directory);
}

TStringList* FilesToDeleteOnExit() { return gFilesToDeleteOnExit.get(); }

const TOptionalEntryPoints& OptionalEntryPoints() { return gEntryPoints; }

void InitializeCompatibility() {
  LoadOptionalEntryPoints(gEntryPoints);
  gFilesToDeleteOnExit = std::make_unique<TStringList>();
}

void FinalizeCompatibility() {
  // The module goes first; the deletion uses no resolved entry point.
  UnloadOptionalEntryPoints(gEntryPoints);
  if (const std::unique_ptr<TStringList> paths = std::move(gFilesToDeleteOnExit)) DeleteListedPaths(*paths);
}
