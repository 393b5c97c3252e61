#pragma once
// A fresh directory for each test: removed when it passes, kept with its path printed when not.

#include <fstream>
#include <random>
#include <string_view>

#include <gtest/gtest.h>

#include "support/TestPlatform.h"

class TempDirTest : public ::testing::Test {
protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::error_code error;
    do fRoot = std::filesystem::temp_directory_path() / ("tidemark-" + name.substr(0, 40) + "-" + std::to_string(std::random_device()() % 1000000));
    while (!std::filesystem::create_directory(fRoot, error) && !error);
    ASSERT_FALSE(error) << "cannot create a test directory under " << std::filesystem::temp_directory_path();
  }
  void TearDown() override {
    if (HasFailure()) std::cout << "Test directory kept: " << fRoot.string() << "\n";
    else RemoveTree(fRoot);
  }

  const std::filesystem::path& Root() const { return fRoot; }
  String PathOf(const std::filesystem::path& relative = {}) const { return ToString(relative.empty() ? fRoot : fRoot / relative); }
  void WriteFile(const std::filesystem::path& relative, std::string_view content = {}) const {
    std::filesystem::create_directories((fRoot / relative).parent_path());
    std::ofstream(fRoot / relative, std::ios::binary) << content;
  }
  void MakeDir(const std::filesystem::path& relative) const { std::filesystem::create_directories(fRoot / relative); }

private:
  std::filesystem::path fRoot;
};
