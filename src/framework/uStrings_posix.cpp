#include "framework/uStrings.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "rtl/Exceptions.h"
#include "rtl/Utf8.h"

namespace {

// ANSI and OEM text are UTF-8 here, like file names and arguments, and use the same
// lossless escape for bytes that are not valid UTF-8.
bool IsUtf8CodePage(std::uint32_t codePage) {
  return codePage == CodePageAnsi || codePage == CodePageOem || codePage == CodePageUtf8;
}

// The converter's name for a code page: most are known as "CP<number>".
std::string IconvName(std::uint32_t codePage) {
  if (codePage >= 28591 && codePage <= 28605) return "ISO-8859-" + std::to_string(codePage - 28590);
  switch (codePage) {
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 51932: return "EUC-JP";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    default: return "CP" + std::to_string(codePage);
  }
}

const char* const Utf16Name = std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";

class Converter {
public:
  Converter(const std::string& to, const std::string& from) : fHandle(iconv_open(to.c_str(), from.c_str())) {
    if (fHandle == reinterpret_cast<iconv_t>(-1)) throw EStringError();
  }
  ~Converter() { iconv_close(fHandle); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of Input. Where the input holds a unit that the target cannot represent,
  // or a malformed one, Replacement is written and the input moves on by UnitSize bytes,
  // as the platform's conversion without flags replaces instead of failing.
  std::string Convert(std::string_view input, std::string_view replacement, std::size_t unitSize) {
    std::string result;
    char chunk[4096];
    char* in = const_cast<char*>(input.data());  // iconv's interface is not const-correct
    std::size_t inLeft = input.size();
    bool inputDone = false;
    for (;;) {
      char* out = chunk;
      std::size_t outLeft = sizeof(chunk);
      // With the input done, a call without input writes what a stateful encoding still owes.
      const std::size_t status = inputDone ? iconv(fHandle, nullptr, nullptr, &out, &outLeft)
                                           : iconv(fHandle, &in, &inLeft, &out, &outLeft);
      result.append(chunk, sizeof(chunk) - outLeft);
      if (status != static_cast<std::size_t>(-1)) {
        if (inputDone) return result;
        inputDone = true;
      } else if (errno == E2BIG) {
        continue;
      } else if (!inputDone && (errno == EILSEQ || errno == EINVAL)) {
        result += replacement;
        const std::size_t skip = std::min(unitSize, inLeft);
        in += skip;
        inLeft -= skip;
      } else {
        throw EStringError();
      }
    }
  }

private:
  iconv_t fHandle;
};

std::string_view AsBytes(const Char* text, std::size_t length) {
  return {reinterpret_cast<const char*>(text), length * sizeof(Char)};
}

const Char ReplacementCharacter = 0xFFFD;

}  // namespace

RawByteString AnsiToOem(const char* bytes, int length) {
  if (length < 1) return {};
  return RawByteString(bytes, static_cast<std::size_t>(length));
}

String MultiByteToWide(std::uint32_t codePage, const char* bytes, int length) {
  if (length < 1) return {};
  const std::string_view input(bytes, static_cast<std::size_t>(length));
  if (IsUtf8CodePage(codePage)) return Utf8BytesToString(input);
  const std::string utf16 =
      Converter(Utf16Name, IconvName(codePage)).Convert(input, AsBytes(&ReplacementCharacter, 1), 1);
  if (utf16.empty()) throw EStringError();
  String result(utf16.size() / sizeof(Char), u'\0');
  std::memcpy(result.data(), utf16.data(), result.size() * sizeof(Char));
  return result;
}

RawByteString WideToMultiByte(std::uint32_t codePage, const Char* text, int length) {
  if (length < 1) return {};
  if (IsUtf8CodePage(codePage)) return StringToUtf8Bytes(std::u16string_view(text, static_cast<std::size_t>(length)));
  Converter converter(IconvName(codePage), Utf16Name);
  // The code page's own question mark stands in for what it cannot represent, code unit by
  // code unit (a surrogate pair becomes two), as on Windows.
  const Char questionMark = u'?';
  const std::string replacement = converter.Convert(AsBytes(&questionMark, 1), {}, sizeof(Char));
  const std::string result =
      converter.Convert(AsBytes(text, static_cast<std::size_t>(length)), replacement, sizeof(Char));
  if (result.empty()) throw EStringError();
  return result;
}

bool IsValidUtf8(const char* bytes, int length) {
  if (length < 1) return false;
  // Valid UTF-8 never yields a lone low surrogate, so one in the decoded text is the
  // escape of a byte that did not fit.
  const String text = Utf8BytesToString(std::string_view(bytes, static_cast<std::size_t>(length)));
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF) ++i;
    else if (text[i] >= 0xDC00 && text[i] <= 0xDFFF) return false;
  }
  return true;
}
