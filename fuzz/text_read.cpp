// Reads fuzzed bytes as a text file, by characters and, over a second stream, by lines. Both
// reads end; no line holds a line end, and the lines hold exactly the other characters.

#include "FuzzCheck.h"
#include "framework/uFiles.h"

// The first byte N picks the file: below 128 the rest of the input as it is; from 128 on the
// rest repeated to at least (N - 128) * 256 bytes, so that reads cross the 16384-byte window
// and detection sample. Most runs stay small and fast.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  std::basic_string<std::uint8_t> bytes(data + 1, size - 1);
  const std::size_t length = data[0] < 128 ? 0 : std::size_t{data[0] - 128u} * 256;
  while (size > 1 && bytes.size() < length) bytes.append(data + 1, size - 1);
  const String name = ScratchFile(bytes.data(), bytes.size());
  TTextStream chars(name, FileModeOpenRead), lines(name, FileModeOpenRead);
  Check(bytes.empty() == (chars.Encoding() == TFileEncoding::feAuto), "a file with content has its encoding detected");
  String expected, joined, line;
  for (Char c; chars.ReadChar(c);) {
    Check(expected.size() <= bytes.size(), "no more characters than bytes");  // a pair takes four bytes
    if (c != u'\r' && c != u'\n') expected += c;
  }
  for (std::size_t count = 0; lines.ReadLine(line); joined += line)
    Check(++count <= bytes.size() && line.find_first_of(u"\r\n") == String::npos, "lines end, and hold no line end");
  Check(line.empty() && lines.Eof() && joined == expected, "the lines hold the characters other than CR and LF");
  return 0;
}
