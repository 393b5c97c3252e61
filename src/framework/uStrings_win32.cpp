// <windows.h> comes first: the unit's header undoes a macro of it.
#include <windows.h>

#include "framework/uStrings.h"

#include "rtl/Exceptions.h"

// Both directions ask the platform for the exact result size first: a fixed ratio of
// input to output does not hold for every code page (one UTF-16 code unit becomes four
// bytes in GB18030 and up to five in UTF-7).

RawByteString AnsiToOem(const char* bytes, int length) {
  if (length < 1) return {};
  RawByteString result(static_cast<std::size_t>(length), '\0');
  if (!CharToOemBuffA(bytes, result.data(), static_cast<DWORD>(length))) throw EStringError();
  return result;
}

String MultiByteToWide(std::uint32_t codePage, const char* bytes, int length) {
  if (length < 1) return {};
  const int size = MultiByteToWideChar(codePage, 0, bytes, length, nullptr, 0);
  if (size < 1) throw EStringError();
  String result(static_cast<std::size_t>(size), u'\0');
  const int produced =
      MultiByteToWideChar(codePage, 0, bytes, length, reinterpret_cast<wchar_t*>(result.data()), size);
  if (produced < 1) throw EStringError();
  result.resize(static_cast<std::size_t>(produced));
  return result;
}

RawByteString WideToMultiByte(std::uint32_t codePage, const Char* text, int length) {
  if (length < 1) return {};
  const auto* wide = reinterpret_cast<const wchar_t*>(text);
  const int size = WideCharToMultiByte(codePage, 0, wide, length, nullptr, 0, nullptr, nullptr);
  if (size < 1) throw EStringError();
  RawByteString result(static_cast<std::size_t>(size), '\0');
  const int produced = WideCharToMultiByte(codePage, 0, wide, length, result.data(), size, nullptr, nullptr);
  if (produced < 1) throw EStringError();
  result.resize(static_cast<std::size_t>(produced));
  return result;
}

bool IsValidUtf8(const char* bytes, int length) {
  // A length of -1 would mean "up to the terminating zero" to the platform.
  if (length < 1) return false;
  return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, length, nullptr, 0) != 0;
}
