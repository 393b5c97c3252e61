#include "engine/EngineFileSystem.h"

#include <set>
#include <vector>

#include "rtl/Path.h"
#include "rtl/Utf8.h"
#include "support/FileTools.h"
#include "support/TempDir.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

namespace {

class EngineFileSystem : public TempDirTest {
protected:
  TDirectory Open(const std::string& relative = {}) const {
    return TDirectory::Open(IncludeTrailingPathDelimiter(PathOf(fs::path(relative).make_preferred())));
  }

  TDirectoryListing fListing;
};

const bool OnWindows = PathDelim == u'\\';

}  // namespace

// In the order of the wildcard search, and matching masks as it matches them.
TEST_F(EngineFileSystem, AListingHoldsEveryEntryAsTheWildcardSearchFindsIt) {
  for (const char* name : {"b", "a", ".hidden", "name with blanks", "na\xC3\xAFve", "pack-1.pack", "pack-.pack",
                           "pack-1.pack.tmp", "xpack-1.pack", "PACK-2.PACK", "pack-1.idx", "pack-a b.pack",
                           "pack-\xC3\xA4.pack"}) {
    WriteFile(ToPath(Utf8BytesToString(name)));
  }
  for (const char* name : {"dir", ".git", "z", "pack-dir.pack"}) MakeDir(name);
  MakeReadOnlyHidden(Root() / ".hidden");
  const auto searched = [&](const String& mask) {
    std::vector<String> found;
    for (TFileSearch search(PathOf() + PathDelim + mask); search.Found(); search.Next()) {
      if (search.Entry().Name != u"." && search.Entry().Name != u"..") found.push_back(search.Entry().Name);
    }
    return found;
  };
  const TDirectory directory = Open();
  ASSERT_TRUE(directory.IsOpen());
  EXPECT_EQ(directory.Path(), PathOf() + PathDelim);
  ASSERT_TRUE(directory.Read(fListing));
  std::vector<String> listed;
  std::set<String> matched;
  for (std::size_t i = 0; i < fListing.Count(); ++i) {
    listed.push_back(fListing.Name(i));
    if (fListing.NameMatches(i, u"pack-*.pack")) matched.insert(fListing.Name(i));
  }
  EXPECT_EQ(listed, searched(String(AllFilesMask)));
  EXPECT_EQ(listed.size(), 17u);
  const std::vector<String> packs = searched(u"pack-*.pack");
  EXPECT_EQ(matched, std::set<String>(packs.begin(), packs.end()));
  EXPECT_EQ(matched.size(), OnWindows ? 6u : 5u);

  // The listing is filled anew, not added to.
  MakeDir("dir/only");
  ASSERT_TRUE(Open("dir").Read(fListing));
  EXPECT_EQ(fListing.Count(), 1u);
  EXPECT_EQ(fListing.Name(0), u"only");

  const TDirectory missing = Open("missing");
  EXPECT_FALSE(missing.Read(fListing));
  EXPECT_EQ(fListing.Count(), 0u);
  EXPECT_EQ(missing.Path(), PathOf("missing") + PathDelim);
}

// The listing rules names out; only what it may hold is asked of the file system.
TEST_F(EngineFileSystem, MayContainRulesOutOnlyNamesNoEntryCanBeReachedBy) {
  const struct { const char* Listed; const char* Wanted; bool Posix; bool Windows; } cases[] = {
      {"index", "index", true, true},
      {"INDEX", "index", true, true},
      {".Git", ".git", true, true},
      {"index.lock", "index", false, false},
      {"inde", "index", false, false},
      {"ind\xC3\xA9x", "index", false, false},             // a letter of its own: no file system takes it for "e"
      {"in\xC2\xAD" "dex", "index", true, false},          // a soft hyphen, which some file systems ignore
      {"pac\xE2\x84\xAA", "pack", true, false},            // the Kelvin sign folds to "k"
      {"stra\xC3\x9F" "e", "STRASSE", true, false},        // sharp s folds to "ss"
      {"caf\xC3\xA9", "cafe\xCC\x81", true, false},        // one name composed, one decomposed
      {"pack-\xC3\x84.idx", "pack-\xC3\xA4.idx", true, true},
      {"pack-\xC3\x84.idx", "pack-a.idx", false, false},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    SCOPED_TRACE(std::string(c.Listed) + " for " + c.Wanted);
    const std::string directory = "case" + std::to_string(i);
    WriteFile(fs::path(directory) / ToPath(Utf8BytesToString(c.Listed)));
    ASSERT_TRUE(Open(directory).Read(fListing));
    EXPECT_EQ(fListing.MayContain(Utf8BytesToString(c.Wanted)), OnWindows ? c.Windows : c.Posix);
  }
}

TEST_F(EngineFileSystem, TestsByNameFollowTheListingAndThenTheFileSystem) {
  MakeDir("r/objects/pack");
  WriteFile("r/HEAD");
  WriteFile("r/objects-file");
  const TDirectory directory = Open("r");
  ASSERT_TRUE(directory.Read(fListing));
  const String pack = NativePath(u"objects/pack");
  EXPECT_TRUE(directory.FileExists(u"HEAD", &fListing));
  EXPECT_FALSE(directory.DirectoryExists(u"HEAD", &fListing));
  EXPECT_TRUE(directory.DirectoryExists(u"objects", &fListing));
  EXPECT_FALSE(directory.FileExists(u"objects", &fListing));
  EXPECT_TRUE(directory.DirectoryExists(pack, &fListing));
  EXPECT_TRUE(directory.DirectoryExists(pack, nullptr));
  EXPECT_FALSE(directory.DirectoryExists(NativePath(u"objects-file/pack"), &fListing));

  // What came after the listing is not there for a test that goes by it.
  WriteFile("r/index");
  EXPECT_FALSE(directory.FileExists(u"index", &fListing));
  EXPECT_TRUE(directory.FileExists(u"index", nullptr));

  const TDirectory packDirectory = directory.OpenSubdirectory(pack, &fListing);
  EXPECT_TRUE(packDirectory.IsOpen());
  EXPECT_EQ(packDirectory.Path(), directory.Path() + pack + PathDelim);
  EXPECT_FALSE(directory.OpenSubdirectory(u"HEAD", &fListing).IsOpen());
  EXPECT_FALSE(directory.OpenSubdirectory(u"index", &fListing).IsOpen());
  EXPECT_FALSE(directory.OpenSubdirectory(u"missing", &fListing).IsOpen());

  const TDirectory missing = Open("missing");
  EXPECT_FALSE(missing.IsOpen());
  EXPECT_FALSE(missing.FileExists(u"index", nullptr));
  EXPECT_FALSE(missing.OpenSubdirectory(u"objects").IsOpen());
}

TEST_F(EngineFileSystem, EntriesAreTakenFromTheListingAndLinksFollowed) {
  WriteFile("d/file");
  MakeDir("d/dir");
  MakeDir("target");
  const bool links = MakeLink(Root() / "d" / "to-dir", Root() / "target", TLinkTarget::Directory);
  if (links) {
    ASSERT_TRUE(MakeLink(Root() / "d" / "to-file", Root() / "d" / "file", TLinkTarget::File));
    ASSERT_TRUE(MakeLink(Root() / "d" / "dangling", Root() / "missing", TLinkTarget::File));
  }
  TDirectory directory = Open("d");
  ASSERT_TRUE(directory.Read(fListing));
  for (std::size_t i = 0; i < fListing.Count(); ++i) {
    const String name = fListing.Name(i);
    SCOPED_TRACE(StringToUtf8Bytes(name));
    const TEntryKind kind = directory.KindOfEntry(fListing, i);
    EXPECT_EQ(kind.IsDirectory, name == u"dir");
    EXPECT_EQ(kind.IsLink, name != u"dir" && name != u"file");
  }
  EXPECT_EQ(fListing.Count(), links ? 5u : 2u);

  // A released directory is reopened from a subdirectory, as it was; a link's ".." would lead
  // to the target's parent.
  for (const char16_t* subdirectory : {u"dir", u"to-dir", u"missing"}) {
    SCOPED_TRACE(StringToUtf8Bytes(subdirectory));
    const TDirectory child = directory.OpenSubdirectory(subdirectory);
    directory.Release();
    directory.ReopenFrom(child);
    ASSERT_TRUE(directory.IsOpen());
    EXPECT_TRUE(directory.FileExists(u"file", nullptr));
  }

  if (!links) GTEST_SKIP() << "this platform cannot make links";
  EXPECT_TRUE(directory.FileExists(u"to-file", &fListing));
  EXPECT_FALSE(directory.FileExists(u"dangling", &fListing));
  EXPECT_TRUE(directory.OpenSubdirectory(u"to-dir", &fListing).IsOpen());
  // Told not to, POSIX follows no link in the last place; Windows goes by path and does.
  EXPECT_EQ(directory.OpenSubdirectory(u"to-dir", nullptr, TLastLink::Refuse).IsOpen(), OnWindows);
  EXPECT_TRUE(directory.OpenSubdirectory(u"dir", nullptr, TLastLink::Refuse).IsOpen());
}

TEST_F(EngineFileSystem, TimesAreReadAndSetWithinTheDirectory) {
  WriteFile("d/f", "content");
  const auto before = StoredTimes(Root() / "d" / "f");
  ASSERT_TRUE(before);
  const TDirectory directory = Open("d");
  TFileTime creation, lastWrite, lastAccess;
  ASSERT_TRUE(directory.GetFileTimes(u"f", creation, lastWrite, lastAccess));
  EXPECT_EQ(lastWrite, before->LastWrite);
  EXPECT_EQ(lastAccess, before->LastAccess);

  for (const TFileTime wanted : {TFileTime{before->LastWrite.High, before->LastWrite.Low ^ 1u},
                                 TFileTime{before->LastWrite.High - 200, before->LastWrite.Low}}) {
    ASSERT_TRUE(directory.SetFileLastWriteTime(u"f", wanted));
    EXPECT_EQ(StoredTimes(Root() / "d" / "f")->LastWrite, wanted);
    EXPECT_EQ(StoredTimes(Root() / "d" / "f")->LastAccess, before->LastAccess);
  }
  MakeReadOnlyHidden(Root() / "d" / "f");
  EXPECT_TRUE(directory.SetFileLastWriteTime(u"f", before->LastWrite));
  EXPECT_EQ(StoredTimes(Root() / "d" / "f")->LastWrite, before->LastWrite);

  EXPECT_FALSE(directory.SetFileLastWriteTime(u"missing", before->LastWrite));
  EXPECT_FALSE(directory.GetFileTimes(u"missing", creation, lastWrite, lastAccess));
  EXPECT_EQ(lastWrite, TFileTime{});
  EXPECT_FALSE(Open("missing").GetFileTimes(u"f", creation, lastWrite, lastAccess));
}
