#pragma once
// What tests need to know of the platform they run on.

#include <filesystem>

#include "rtl/String.h"

// A file-system path as the units see it, and back.
String ToString(const std::filesystem::path& path);
std::filesystem::path ToPath(const String& path);

// True in the Windows build when it runs under Wine, for the few cases Wine cannot reproduce.
bool RunningUnderWine();
