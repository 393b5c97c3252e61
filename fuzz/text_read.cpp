// Reads fuzzed bytes as a text file: encoding detection, then every line with ReadLine and,
// over a second stream, every character with ReadChar. Both reads must end, lines never hold
// a line end, and the lines hold exactly the characters other than CR and LF.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "ScratchFile.h"
#include "framework/uFiles.h"

namespace {

bool IsLineEnd(Char c) { return c == u'\r' || c == u'\n'; }

// Every character of the file; there are never more of them than bytes, as a supplementary
// character, the one that comes in two halves, takes four bytes.
String ReadAllChars(std::size_t size) {
  TTextStream stream(ScratchFileName(), FileModeOpenRead);
  Check((size == 0) == (stream.Encoding() == TFileEncoding::feAuto), "a non-empty file has its encoding detected");
  String chars;
  Char c;
  while (stream.ReadChar(c)) {
    chars += c;
    Check(chars.size() <= size, "no more characters than bytes");
  }
  Check(stream.Encoding() != TFileEncoding::feAuto, "a read decides the encoding");
  return chars;
}

std::vector<std::uint8_t> RepeatedTo(std::size_t length, const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> repeated(data, data + size);
  while (size != 0 && repeated.size() < length) repeated.insert(repeated.end(), data, data + size);
  return repeated;
}

}  // namespace

// The first byte N picks the file: below 128 the rest of the input as it is; from 128 on the
// rest repeated to at least (N - 128) * 256 bytes, so that reads cross the 16384-byte window
// and detection sample. Most runs stay small and fast.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t length = data[0] < 128 ? 0 : std::size_t{data[0] - 128u} * 256;
  const std::vector<std::uint8_t> file = RepeatedTo(length, data + 1, size - 1);
  WriteScratchFile(file.data(), file.size());
  const String chars = ReadAllChars(file.size());

  TTextStream stream(ScratchFileName(), FileModeOpenRead);
  String joined, line;
  std::size_t lines = 0;
  while (stream.ReadLine(line)) {
    Check(++lines <= file.size(), "no more lines than bytes");
    for (const Char c : line) Check(!IsLineEnd(c), "a line holds no line end");
    joined += line;
  }
  Check(line.empty() && stream.Eof(), "reading ends at the end with an empty line");

  String expected;
  for (const Char c : chars)
    if (!IsLineEnd(c)) expected += c;
  Check(joined == expected, "the lines hold the characters other than CR and LF");
  return 0;
}
