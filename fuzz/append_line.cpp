// Appends fuzzed lines with AppendLine in a fuzzed encoding and reads them back with ReadLine.
// Writing and reading never fail, and lines without CR that the encoding carries come back
// unchanged: in UTF-16 every one; in UTF-8 (also the default) those without an unpaired
// U+DC80..U+DCFF, which stands for a raw byte; in ANSI and OEM (UTF-8 without a mark here, so
// reading relies on detection) those without NULs or unpaired surrogates, not starting with
// U+FEFF, in a file that detection reads whole.

#include "FuzzCheck.h"
#include "framework/uFiles.h"
#include "rtl/StringList.h"

namespace {

bool Carries(TFileEncoding encoding, const TStringList& lines, std::int64_t fileSize) {
  const bool ansi = encoding == TFileEncoding::feANSI || encoding == TFileEncoding::feOEM;
  if (ansi && (fileSize > 16384 || lines.front().starts_with(u'\xFEFF'))) return false;
  for (const String& line : lines) {
    for (std::size_t i = 0; i < line.size(); ++i) {
      const Char c = line[i];
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 && line[i + 1] <= 0xDFFF) {
        ++i;
      } else if (c == u'\r' || (ansi && c == 0) ||
                 (encoding != TFileEncoding::feUTF16 && c >= (ansi ? 0xD800 : 0xDC80) && c <= (ansi ? 0xDFFF : 0xDCFF))) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

// The first byte picks the encoding; the rest are UTF-16 code units, low byte first, and LF
// separates the lines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto encoding = static_cast<TFileEncoding>(data[0] % 5);
  TStringList lines(1);
  for (std::size_t i = 1; i + 1 < size; i += 2) {
    const auto c = static_cast<Char>(data[i] | data[i + 1] << 8);
    if (c == u'\n') lines.emplace_back();
    else lines.back() += c;
  }
  const String name = ScratchFile(nullptr, 0);
  for (const String& line : lines) TTextStream::AppendLine(name, line, encoding);

  TTextStream stream(name, FileModeOpenRead);
  TStringList readBack;
  for (String line; stream.ReadLine(line);) {
    readBack.push_back(line);
    Check(static_cast<std::int64_t>(readBack.size()) <= stream.Size(), "no more lines than bytes");
  }
  if (Carries(encoding, lines, stream.Size())) Check(readBack == lines, "what AppendLine wrote reads back the same");
  return 0;
}
