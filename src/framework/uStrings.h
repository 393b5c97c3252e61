#pragma once
// Conversions between UTF-16 text and 8-bit encodings: the system ANSI and OEM code pages,
// UTF-8 and any other code page. Empty input gives empty output and never fails; a
// conversion that the platform refuses raises EStringError "Conversion failed.".
// On POSIX the ANSI and OEM code pages are both UTF-8, converted losslessly (bytes that
// are not valid UTF-8 survive as U+DC80..U+DCFF); other code pages go through iconv.

#include <cstdint>

#include "rtl/String.h"

// <windows.h> makes AnsiToOem a macro for a function of its own; a source that needs both
// includes <windows.h> first.
#undef AnsiToOem

// Code page numbers are Windows code page identifiers.
constexpr std::uint32_t CodePageAnsi = 0;
constexpr std::uint32_t CodePageOem = 1;
constexpr std::uint32_t CodePageUtf8 = 65001;

// ANSI bytes to the OEM code page; the result has as many bytes as the input.
RawByteString AnsiToOem(const char* bytes, int length);
RawByteString AnsiToOem(const RawByteString& text);

// Bytes in the code page to UTF-16; a byte sequence the code page does not define becomes
// the platform's replacement character.
String MultiByteToWide(std::uint32_t codePage, const char* bytes, int length);
String AnsiToWide(const char* bytes, int length);
// A byte below 0x80 is its own code unit; any other goes through the ANSI code page.
Char AnsiCharToWide(char byte);

// A character the code page lacks becomes the platform's replacement character.
RawByteString WideToMultiByte(std::uint32_t codePage, const Char* text, int length);
// UTF-8 without a byte-order mark.
RawByteString WideToUTF8(const Char* text, int length);
RawByteString WideToUTF8(const String& text);

// True when Length > 0 bytes are strict UTF-8, as the platform's conversion with its
// invalid-characters check decides (overlong forms and encoded surrogates are invalid).
bool IsValidUtf8(const char* bytes, int length);
