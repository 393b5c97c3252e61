#include "framework/uStrings.h"

RawByteString AnsiToOem(const RawByteString& text) { return AnsiToOem(text.data(), static_cast<int>(text.size())); }

String AnsiToWide(const char* bytes, int length) { return MultiByteToWide(CodePageAnsi, bytes, length); }

Char AnsiCharToWide(char byte) {
  // ASCII is the same in every ANSI code page; spare the platform call for the common case.
  if (static_cast<unsigned char>(byte) < 0x80) return static_cast<Char>(byte);
  return AnsiToWide(&byte, 1).front();
}

RawByteString WideToUTF8(const Char* text, int length) { return WideToMultiByte(CodePageUtf8, text, length); }

RawByteString WideToUTF8(const String& text) { return WideToUTF8(text.data(), static_cast<int>(text.size())); }
