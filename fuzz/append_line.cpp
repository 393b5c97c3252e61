// Appends fuzzed lines (UTF-16 code units, LF between lines) with AppendLine and reads them back:
// lines without CR come back unchanged where the encoding carries them: UTF-16 always, UTF-8
// (also the default) without an unpaired U+DC80..U+DCFF, which stands for a raw byte.
#include "FuzzCheck.h"
#include "framework/uFiles.h"
#include "rtl/StringList.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using enum TFileEncoding;
  const TFileEncoding encoding = size % 2 == 0 ? feUTF16 : size % 4 == 1 ? feUTF8 : feAuto;
  TStringList lines(1);
  bool carried = true;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto c = static_cast<Char>(data[i] | data[i + 1] << 8);
    c == u'\n' ? lines.emplace_back() : lines.back() += c;
    carried = carried && c != u'\r';
  }
  for (const String& line : lines)
    for (std::size_t i = 0; i < line.size(); ++i)
      if (line[i] >= 0xDC80 && line[i] <= 0xDCFF && (i == 0 || line[i - 1] < 0xD800 || line[i - 1] > 0xDBFF))
        carried = carried && encoding == feUTF16;
  const String name = ScratchFile(nullptr, 0);
  for (const String& line : lines) TTextStream::AppendLine(name, line, encoding);
  TTextStream stream(name, FileModeOpenRead);
  TStringList back;
  for (String line; std::ssize(back) <= stream.Size() && stream.ReadLine(line);) back.push_back(line);
  Check(!carried || back == lines, "what AppendLine wrote reads back the same");
  return 0;
}
