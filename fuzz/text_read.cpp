// Reads fuzzed bytes as a text file by characters and, over a second stream, by lines: both
// end, and the lines hold exactly the characters other than CR and LF. The first byte N from
// 128 on repeats the rest to (N - 128) * 256 bytes, so that reads cross the 16384-byte window.
#include "FuzzCheck.h"
#include "framework/uFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::basic_string<std::uint8_t> bytes(data + 1, size - 1);
  while (size > 1 && data[0] >= 128 && bytes.size() < std::size_t{data[0] - 128u} * 256) bytes.append(data + 1, size - 1);
  const String name = ScratchFile(bytes.data(), bytes.size());
  TTextStream chars(name, FileModeOpenRead), lines(name, FileModeOpenRead);
  String expected, joined, line;
  for (Char c; chars.ReadChar(c);) {
    Check(expected.size() <= bytes.size(), "no more characters than bytes");
    if (c != u'\r' && c != u'\n') expected += c;
  }
  for (std::size_t count = 0; lines.ReadLine(line); joined += line)
    Check(++count <= bytes.size() && line.find_first_of(u"\r\n") == String::npos, "lines end, and hold no line end");
  Check(lines.Eof() && joined == expected, "the lines hold the characters other than CR and LF");
  return 0;
}
