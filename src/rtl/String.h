#pragma once
// The text types every unit shares: UTF-16 strings, and byte strings for 8-bit encodings.

#include <string>

using Char = char16_t;
using String = std::u16string;

// Bytes in some 8-bit encoding (a code page, UTF-8); the encoding is the caller's to know.
using RawByteString = std::string;
