#pragma once
// Path text operations. Paths use the platform's separator: "\" on Windows, "/" on POSIX.

#include <string_view>

#include "rtl/String.h"

extern const Char PathDelim;
// Characters that end the directory part of a path: the separator, and on Windows the
// drive colon.
extern const std::u16string_view NameDelimiters;
// The enumeration pattern that matches every entry of a directory.
extern const std::u16string_view AllFilesMask;

// Appends PathDelim unless the path already ends in it.
String IncludeTrailingPathDelimiter(const String& path);

// Replaces the extension (from the last "." after the last path or drive delimiter) by
// Extension, or appends Extension when the name has none.
String ChangeFileExt(const String& fileName, const String& extension);

// The part of the path after its last path or drive delimiter.
String ExtractFileName(const String& path);
