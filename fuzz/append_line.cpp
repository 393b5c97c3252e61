// Appends fuzzed lines with AppendLine in a fuzzed encoding and reads them back. Nothing fails,
// and lines without CR come back unchanged where the encoding carries them: UTF-16 always;
// UTF-8 (also the default) without an unpaired U+DC80..U+DCFF, which stands for a raw byte;
// ANSI and OEM (UTF-8 without a mark here, so read by detection) without unpaired surrogates,
// with at most 30 NULs (more may look like UTF-16), not starting with U+FEFF (a mark), and
// all ASCII unless detection reads the whole file.

#include "FuzzCheck.h"
#include "framework/uFiles.h"
#include "rtl/StringList.h"

// The first byte picks the encoding; the rest are UTF-16 code units, low byte first, and LF
// separates the lines.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const auto encoding = static_cast<TFileEncoding>(data[0] % 5);
  const bool ansi = encoding == TFileEncoding::feANSI || encoding == TFileEncoding::feOEM;
  String all;
  for (std::size_t i = 1; i + 1 < size; i += 2) all += static_cast<Char>(data[i] | data[i + 1] << 8);
  TStringList lines(1);
  std::size_t nuls = 0;
  bool carried = all.find(u'\r') == String::npos, ascii = true;
  for (std::size_t i = 0; i < all.size(); ++i) {
    const Char c = all[i];
    nuls += c == 0, ascii = ascii && c < 0x80;
    c == u'\n' ? lines.emplace_back() : lines.back() += c;
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < all.size() && all[i + 1] >= 0xDC00 && all[i + 1] <= 0xDFFF)
      lines.back() += all[++i];
    else if (encoding != TFileEncoding::feUTF16 && c >= (ansi ? 0xD800 : 0xDC80) && c <= (ansi ? 0xDFFF : 0xDCFF))
      carried = false;
  }
  const String name = ScratchFile(nullptr, 0);
  for (const String& line : lines) TTextStream::AppendLine(name, line, encoding);
  TTextStream stream(name, FileModeOpenRead);
  TStringList back;
  for (String line; stream.ReadLine(line); back.push_back(line))
    Check(std::ssize(back) < stream.Size(), "no more lines than bytes");
  if (ansi) carried = carried && nuls <= 30 && !all.starts_with(u'\xFEFF') && (ascii || stream.Size() <= 16384);
  Check(!carried || back == lines, "what AppendLine wrote reads back the same");
  return 0;
}
