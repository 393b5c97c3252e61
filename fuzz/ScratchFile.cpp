#include "ScratchFile.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "FuzzCheck.h"
#include "rtl/Utf8.h"

namespace {

class TScratchDirectory {
public:
  TScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tidemark-fuzz-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr, "the scratch directory can be made");
    fPath = pattern;
    fFile = fPath / "scratch.txt";
    fFileName = Utf8BytesToString(fFile.native());
  }
  ~TScratchDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(fPath, ignored);
  }
  TScratchDirectory(const TScratchDirectory&) = delete;
  TScratchDirectory& operator=(const TScratchDirectory&) = delete;

  const std::filesystem::path& Path() const { return fPath; }
  const std::filesystem::path& File() const { return fFile; }
  const String& FileName() const { return fFileName; }

private:
  std::filesystem::path fPath;
  std::filesystem::path fFile;
  String fFileName;
};

const TScratchDirectory& Scratch() {
  static const TScratchDirectory directory;
  return directory;
}

}  // namespace

const String& ScratchFileName() { return Scratch().FileName(); }

void WriteScratchFile(const unsigned char* Data, std::size_t Size) {
  // A new file each time: emptying one that holds data makes some file systems write it
  // out at once, which would slow every run down to the disk's pace.
  ClearScratchFile();
  std::ofstream file(Scratch().File(), std::ios::binary);
  file.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
  file.close();
  Check(file.good(), "the scratch file can be written");
}

void ClearScratchFile() {
  std::error_code ignored;
  std::filesystem::remove(Scratch().File(), ignored);
  // A clean-up of the temporary directory by someone else may have taken the directory.
  std::filesystem::create_directory(Scratch().Path(), ignored);
}
