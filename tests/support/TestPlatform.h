#pragma once
// What tests need to know of the platform they run on.

#include <algorithm>
#include <filesystem>
#include <string_view>

#include "rtl/Path.h"
#include "rtl/String.h"

// A file-system path as the units see it, and back.
String ToString(const std::filesystem::path& path);
std::filesystem::path ToPath(const String& path);

// Portable with each '/' turned into the platform's delimiter.
inline String NativePath(std::u16string_view portable) {
  String path(portable);
  std::ranges::replace(path, u'/', PathDelim);
  return path;
}

// True in the Windows build when it runs under Wine, for the few cases Wine cannot reproduce.
bool RunningUnderWine();
