#include "rtl/Utf8.h"

#include <cstdint>

namespace {

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at Pos and its code point; 0 when the bytes there do
// not form one (overlong forms, surrogates and values above U+10FFFF included).
std::size_t DecodeSequence(std::string_view bytes, std::size_t pos, char32_t& codePoint) {
  const auto lead = static_cast<unsigned char>(bytes[pos]);
  std::size_t length;
  char32_t minimum;
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, codePoint = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, codePoint = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, codePoint = lead & 0x07u;
  } else {
    return 0;
  }
  if (bytes.size() - pos < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const auto b = static_cast<unsigned char>(bytes[pos + i]);
    if (!IsContinuation(b)) return 0;
    codePoint = (codePoint << 6) | (b & 0x3Fu);
  }
  if (codePoint < minimum || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF)) return 0;
  return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

}  // namespace

String Utf8BytesToString(std::string_view bytes) {
  String result;
  result.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    char32_t cp;
    const std::size_t length = DecodeSequence(bytes, pos, cp);
    if (length == 0) {
      result += static_cast<Char>(0xDC00 | static_cast<unsigned char>(bytes[pos]));
      ++pos;
    } else if (cp >= 0x10000) {
      result += static_cast<Char>(0xD800 + ((cp - 0x10000) >> 10));
      result += static_cast<Char>(0xDC00 + ((cp - 0x10000) & 0x3FF));
      pos += length;
    } else {
      result += static_cast<Char>(cp);
      pos += length;
    }
  }
  return result;
}

std::string StringToUtf8Bytes(std::u16string_view text) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      AppendUtf8(result, 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00u));
      ++i;
    } else if (unit >= 0xDC80 && unit <= 0xDCFF) {
      result += static_cast<char>(unit & 0xFF);
    } else {
      AppendUtf8(result, unit);
    }
  }
  return result;
}
