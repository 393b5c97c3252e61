#pragma once
// A fixture that gives each test a fresh directory of its own: removed when the test
// passes, kept with its path printed when it fails, so the tree can be looked at.

#include <filesystem>
#include <string_view>

#include <gtest/gtest.h>

#include "rtl/String.h"

class TempDirTest : public ::testing::Test {
protected:
  void SetUp() override;
  void TearDown() override;

  const std::filesystem::path& Root() const { return fRoot; }
  // Root joined with Relative, as the units see a path.
  String PathOf(const std::filesystem::path& relative = {}) const;

  // Creates the file (and its missing parent directories) holding exactly Content.
  void WriteFile(const std::filesystem::path& relative, std::string_view content = {}) const;
  // Creates the directory and its missing parents.
  void MakeDir(const std::filesystem::path& relative) const;

private:
  std::filesystem::path fRoot;
};
