// Appends fuzzed lines to a new file with AppendLine, in a fuzzed encoding, and reads them
// back with ReadLine. Lines that the encoding can carry must come back unchanged:
// - UTF-16: any line without CR (LF separates the lines here);
// - UTF-8, and the default (feAuto, UTF-8 too): any line without CR that holds no unpaired
//   U+DC80..U+DCFF; those stand for raw bytes and are written as such;
// - ANSI and OEM (both UTF-8 here, without a mark, so reading relies on detection): lines
//   without CR and without unpaired surrogates, at most 30 NULs in all (more may look like
//   UTF-16), not starting with U+FEFF (that looks like a mark), and either all below U+0080
//   or a file that detection reads whole.
// Whatever the lines hold, writing and reading them must not fail.

#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "ScratchFile.h"
#include "framework/uFiles.h"
#include "rtl/StringList.h"

namespace {

constexpr std::int64_t DetectionSampleSize = 16384;

bool IsHighSurrogate(Char c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(Char c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Calls Visit with every code unit of Text that is a surrogate without its partner.
template <typename TVisit>
void ForEachUnpairedSurrogate(const String& text, TVisit visit) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
      ++i;
    else if (IsHighSurrogate(text[i]) || IsLowSurrogate(text[i]))
      visit(text[i]);
  }
}

bool HasUnpairedByteEscape(const String& text) {
  bool found = false;
  ForEachUnpairedSurrogate(text, [&found](Char c) { found = found || (c >= 0xDC80 && c <= 0xDCFF); });
  return found;
}

bool HasUnpairedSurrogate(const String& text) {
  bool found = false;
  ForEachUnpairedSurrogate(text, [&found](Char) { found = true; });
  return found;
}

bool MustRoundTrip(TFileEncoding encoding, const TStringList& lines, std::int64_t fileSize) {
  std::size_t nuls = 0;
  bool ascii = true;
  for (const String& line : lines) {
    if (line.find(u'\r') != String::npos) return false;
    for (const Char c : line) {
      nuls += c == 0;
      ascii = ascii && c < 0x80;
    }
  }
  switch (encoding) {
    case TFileEncoding::feUTF16: return true;
    case TFileEncoding::feAuto:
    case TFileEncoding::feUTF8:
      for (const String& line : lines)
        if (HasUnpairedByteEscape(line)) return false;
      return true;
    case TFileEncoding::feANSI:
    case TFileEncoding::feOEM:
      for (const String& line : lines)
        if (HasUnpairedSurrogate(line)) return false;
      return nuls <= 30 && !lines.front().starts_with(u'\xFEFF') && (ascii || fileSize <= DetectionSampleSize);
  }
  return false;
}

// The input's code units, low byte first, split at LF.
TStringList LinesOf(const std::uint8_t* data, std::size_t size) {
  TStringList lines(1);
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto c = static_cast<Char>(data[i] | data[i + 1] << 8);
    if (c == u'\n')
      lines.emplace_back();
    else
      lines.back() += c;
  }
  return lines;
}

}  // namespace

// The first byte picks the encoding; the rest are the lines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto encoding = static_cast<TFileEncoding>(data[0] % 5);
  const TStringList lines = LinesOf(data + 1, size - 1);

  ClearScratchFile();
  for (const String& line : lines) TTextStream::AppendLine(ScratchFileName(), line, encoding);

  TTextStream stream(ScratchFileName(), FileModeOpenRead);
  const std::int64_t fileSize = stream.Size();
  TStringList readBack;
  for (String line; stream.ReadLine(line);) {
    readBack.push_back(line);
    Check(static_cast<std::int64_t>(readBack.size()) <= fileSize, "no more lines than bytes");
  }
  if (MustRoundTrip(encoding, lines, fileSize)) Check(readBack == lines, "what AppendLine wrote reads back the same");
  return 0;
}
