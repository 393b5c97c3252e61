// Reads fuzzed bytes as a text file, every character with ReadChar and, over a second stream,
// every line with ReadLine. Both reads end; there are no more characters than bytes (a
// supplementary character, the one read in two halves, takes four); a line holds no line end,
// and the lines hold exactly the characters other than CR and LF.

#include "FuzzCheck.h"
#include "framework/uFiles.h"

namespace {

bool IsLineEnd(Char c) { return c == u'\r' || c == u'\n'; }

}  // namespace

// The first byte N picks the file: below 128 the rest of the input as it is; from 128 on the
// rest repeated to at least (N - 128) * 256 bytes, so that reads cross the 16384-byte window
// and detection sample. Most runs stay small and fast.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t length = data[0] < 128 ? 0 : std::size_t{data[0] - 128u} * 256;
  std::basic_string<unsigned char> bytes(data + 1, size - 1);
  while (size > 1 && bytes.size() < length) bytes.append(data + 1, size - 1);
  const String name = ScratchFile(bytes.data(), bytes.size());

  TTextStream chars(name, FileModeOpenRead);
  Check(bytes.empty() == (chars.Encoding() == TFileEncoding::feAuto), "a non-empty file has its encoding detected");
  String expected;
  std::size_t count = 0;
  for (Char c; chars.ReadChar(c);) {
    Check(++count <= bytes.size(), "no more characters than bytes");
    if (!IsLineEnd(c)) expected += c;
  }

  TTextStream lines(name, FileModeOpenRead);
  String joined, line;
  for (std::size_t lineCount = 0; lines.ReadLine(line); joined += line) {
    Check(++lineCount <= bytes.size(), "no more lines than bytes");
    for (const Char c : line) Check(!IsLineEnd(c), "a line holds no line end");
  }
  Check(line.empty() && lines.Eof(), "reading ends at the end with an empty line");
  Check(joined == expected, "the lines hold the characters other than CR and LF");
  return 0;
}
