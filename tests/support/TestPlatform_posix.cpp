#include "support/TestPlatform.h"

#include "rtl/Utf8.h"

String ToString(const std::filesystem::path& path) { return Utf8BytesToString(path.native()); }

std::filesystem::path ToPath(const String& path) { return StringToUtf8Bytes(path); }

bool RunningUnderWine() { return false; }
