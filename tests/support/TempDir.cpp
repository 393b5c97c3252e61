#include "support/TempDir.h"

#include <fstream>
#include <random>

#include "support/DeepTree.h"
#include "support/TestPlatform.h"

namespace fs = std::filesystem;

void TempDirTest::SetUp() {
  std::random_device random;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  for (int attempt = 0;; ++attempt) {
    fRoot = fs::temp_directory_path() /
            ("tidemark-" + std::string(info->name()).substr(0, 40) + "-" + std::to_string(random() % 1000000));
    std::error_code error;
    if (fs::create_directory(fRoot, error)) break;
    ASSERT_LT(attempt, 100) << "cannot create a test directory under " << fs::temp_directory_path();
  }
}

void TempDirTest::TearDown() {
  if (HasFailure()) {
    std::cout << "Test directory kept: " << fRoot.string() << "\n";
    return;
  }
  RemoveDeepTree(fRoot);  // whatever the test left: read-only entries, links, any depth
}

String TempDirTest::PathOf(const fs::path& relative) const {
  return ToString(relative.empty() ? fRoot : fRoot / relative);
}

void TempDirTest::WriteFile(const fs::path& relative, std::string_view content) const {
  const fs::path path = fRoot / relative;
  fs::create_directories(path.parent_path());
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(content.data(), static_cast<std::streamsize>(content.size()));
  ASSERT_TRUE(file.good()) << "cannot write " << path;
}

void TempDirTest::MakeDir(const fs::path& relative) const { fs::create_directories(fRoot / relative); }
