#pragma once
// Lossless conversion between UTF-16 and byte strings that are meant to be UTF-8, such as
// POSIX file names and arguments. A byte that is not part of valid UTF-8 becomes the lone
// surrogate U+DC80..U+DCFF and turns back into the same byte, so every name round-trips.

#include <string>
#include <string_view>

#include "rtl/String.h"

String Utf8BytesToString(std::string_view bytes);

// Lone surrogates U+DC80..U+DCFF become their escaped byte; any other lone surrogate is
// written in the three-byte form, which no valid UTF-8 reader accepts as text.
std::string StringToUtf8Bytes(std::u16string_view text);
