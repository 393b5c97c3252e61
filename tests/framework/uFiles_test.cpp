#include "framework/uFiles.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "framework/uStrings.h"
#include "rtl/Utf8.h"
#include "support/Raises.h"
#include "support/TempDir.h"

using namespace std::string_literals;
using enum TFileEncoding;

namespace {

// Logs each read, write and resize ("R0:4 W4:2 S3 "), moves at most Max bytes, may refuse writes.
class TLoggedFile : public TFileStream {
public:
  using TFileStream::TFileStream, TStream::SetSize;
  std::string Log;
  std::int32_t Max = 99;
  bool Refuse = false;

  std::int32_t Read(void* Buffer, std::int32_t Count) override {
    return TFileStream::Read(Buffer, Logged("R", Count));
  }
  std::int32_t Write(const void* Buffer, std::int32_t Count) override {
    const std::int32_t count = Logged("W", Count);
    return Refuse ? 0 : TFileStream::Write(Buffer, count);
  }
  void SetSize(std::int64_t NewSize) override {
    Log += "S" + std::to_string(NewSize) + " ";
    TFileStream::SetSize(NewSize);
  }

private:
  std::int32_t Logged(const char* kind, std::int32_t count) {
    Log += kind + std::to_string(Position()) + ":" + std::to_string(count) + " ";
    return std::min(count, Max);
  }
};

class Files : public TempDirTest {
protected:
  std::string FileBytes(const std::string& name) const {
    std::ifstream file(Root() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }
};
using BufferedStream = Files;
using TextStream = Files;

}  // namespace

// Steps on a window of four bytes: rN Read, RN ReadBuffer, wT WriteBuffer, sN seek, S 32-bit seek
// by 0, e seek to end, zN size, f flush, x toggle refusal, tN limit; out: read bytes, "!", "@pos".
TEST_F(BufferedStream, MovesBytesThroughItsWindowInFewInnerTransfers) {
  const struct { std::string content, script, output, log, after; } rows[] = {
      {"0123456789", "r2 s3 r2 @", "0134@5", "R0:4 R4:4 ", "0123456789"},
      {"0123456789", "r4 s0 r4 s0 wxy s5 r5 s5 r1", "01230123567895", "R0:4 W0:4 R5:5 R5:4 ", "xy23456789"},
      {"0123456789", "s6 wabcd s0 wABCDE @", "@5", "R6:4 W6:4 W0:5 ", "ABCDE5abcd"},
      {"01", "r1 s2 wab", "0", "R0:4 W0:4 ", "01ab"},
      {"0123456789", "r4 z3 s8 wZ s3 r6", "0123\0\0\0\0\0Z"s, "R0:4 S3 R8:4 W8:1 R3:6 ", "012\0\0\0\0\0Z"s},
      {"0123456789", "s10 wabc @ e z12 @", "@13@10@12", "R10:4 W10:3 S12 ", "0123456789ab"},
      {"", "r0 r-1 r5 s4294967301 S @", "@5@4294967301", "R0:5 ", ""},
      {"", "wabc x f x", "!", "W0:3 W0:3 ", "abc"}, {"", "wd x", "", "W0:1 ", ""},
      {"0123456789", "t3 R6 R5 s0 wabcdefg", "012345!", "R0:6 R3:4 R6:5 R9:4 R10:4 W0:7 R3:4 W3:4 W6:1 ", "abcdefg789"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.script);
    WriteFile("b.bin", row.content);
    TLoggedFile inner(PathOf("b.bin"), FileModeOpenReadWrite | FileShareReadWrite);
    std::string out;
    {
      TBufferedStream stream(&inner, 4, false);
      std::istringstream steps(row.script);
      for (std::string step; steps >> step;) {
        const std::string arg = step.substr(1);
        const std::int64_t n = arg.empty() || step[0] == 'w' ? 0 : std::stoll(arg);
        std::string bytes(static_cast<std::size_t>(std::clamp<std::int64_t>(n, 0, 99)), '\0');
        const auto count = static_cast<std::int32_t>(n);
        try {
          switch (step[0]) {
            case 'r': out += bytes.substr(0, static_cast<std::size_t>(stream.Read(bytes.data(), count))); break;
            case 'R': stream.ReadBuffer(bytes.data(), count), out += bytes; break;
            case 'w': stream.WriteBuffer(arg.data(), static_cast<std::int32_t>(arg.size())); break;
            case 's': stream.SetPosition(n); break;
            case 'S': out += "@" + std::to_string(stream.Seek(std::int32_t{0}, std::uint16_t{1})); break;
            case 'e': stream.Seek(std::int64_t{0}, TSeekOrigin::soEnd); [[fallthrough]];
            case '@': out += "@" + std::to_string(stream.Position()); break;
            case 'z': stream.SetSize(n); break;
            case 'f': stream.Flush(); break;
            case 'x': inner.Refuse = !inner.Refuse; break;
            case 't': inner.Max = count; break;
          }
        } catch (const EStreamError&) {
          out += "!";
        }
      }
    }
    EXPECT_EQ(out, row.output);
    EXPECT_EQ(inner.Log, row.log);
    EXPECT_EQ(FileBytes("b.bin"), row.after);
  }
}

namespace {

const std::string Mark = "\xEF\xBB\xBF", Gruss = "Gr\xC3\xBC\xC3\x9F";

// Bytes read one by one as ANSI text, as UTF-8.
std::string Ansi(std::string_view bytes) {
  String text;
  for (const char byte : bytes) text += AnsiCharToWide(byte);
  return StringToUtf8Bytes(text);
}

std::string Repeat(std::string_view piece, int times) {
  return times > 0 ? std::string(piece) + Repeat(piece, times - 1) : "";
}

}  // namespace

// Steps on a file holding Content (or created): c/r/l read all chars, one, lines ("/" each); e
// encoding, @ position, z Eof; EN/DN (default) encoding; wT, nT write; L LF ends lines; pN seek;
// f flush; aNT AppendLine in encoding N; B frees and gives "=" and the bytes; "!" and a failure.
TEST_F(TextStream, DetectsReadsWritesAndAppends) {
  const std::optional<std::string> none;
  const std::string bad = "\xC3\xA9\xF0\x9F\x98\x80\xC3" "A\x80\xFF\xC0\x80\xED\xA0\x80\xF4\x8F\xBF\xBF\xF4\x90\x80\x80"
                          "\xF8\x88\x80\x80\x80\xFB\xBF\xBF\xBF\xBF\xE2\x82";
  const std::string ansi = WideToMultiByte(CodePageAnsi, u"Gr\u00FC\u00DF", 4);
  const struct { std::optional<std::string> content; std::string script, output; } rows[] = {
      {"", "e c", "0"}, {"\x80\xE9\xE8", "e c", "1" + Ansi("\x80\xE9\xE8")}, {Mark, "e c", "4"},
      {"\xFF" "A", "e c", "1" + Ansi("\xFF" "A")}, {"\xFE" "A", "e c", "1" + Ansi("\xFE" "A")},
      {"\xFF\xFE" "A", "e c", "1" + Ansi("\xFF\xFE" "A")}, {"\xEF\xBB" "A", "e c", "1" + Ansi("\xEF\xBB" "A")},
      {"\xFF\xFE" "A\0B\0"s, "e c", "3AB"}, {"\xFE\xFF\0A\0B"s, "e c", "3AB"}, {Repeat("A\0"s, 30), "e", "4"},
      {Repeat("A\0"s, 31), "e c", "3" + Repeat("A", 31)}, {Repeat("\0A"s, 31), "e c", "3" + Repeat("A", 31)},
      {Repeat("\0A"s, 100) + "A\0"s, "e", "4"}, {Repeat("A\0"s, 100) + "\0A"s, "e", "4"},  // a hundred times as many zeros is not enough
      {"caf\xE9 au lait", "e", "1"}, {"caf\xE9", "e c", "4caf\t"}, {Repeat("ab", 8191) + "\xC3\xA9\xE9x", "e", "4"},
      {Repeat("ab", 8190) + "\xC3\xA9\xE9x", "e", "1"},
      {Mark + "\xDF\xBF\xEF\xBF\xBF\xF7\xBF\xBF\xBF\xFC\x84\x80\x80\x80\x80\xFD\xBF\xBF\xBF\xBF\xBF", "c", "\xDF\xBF\xEF\xBF\xBF???"},  // the last lead of each length
      {Mark + bad, "c", "\xC3\xA9\xF0\x9F\x98\x80\x03" "A\xC2\x80\xC3\xBF\0\xED\xA0\x80\xF4\x8F\xBF\xBF???\xC2\x82"s},
      {"a\r\nb\rc\n\re\r", "l", "a/b/c//e/"}, {"\r\n", "l", "/"},
      {Mark + "a\r\xF0\x9F\x98\x80" "b", "l", "a/\xF0\x9F\x98\x80" "b/"},
      {Mark + "\xF0\x9F\x98\x80", "r z l z", "\xED\xA0\xBD" "0\xED\xB8\x80/1"},
      {none, "w e nh\xC3\xA9 B", "0=" + Mark + "h\xC3\xA9\r\n"}, {none, "D0 nh\xC3\xA9 e B", "0=h\xC3\xA9\r\n"},
      {none, "D3 wh\xC3\xA9 B", "=\xFF\xFEh\0\xE9\0"s}, {none, "E3 @ B", "@2=\xFF\xFE"}, {none, "p1 E4 e B", "4="},
      {none, "L na B", "=" + Mark + "a\n"}, {none, "c wx e B", "1=x"}, {none, "wabc f p0 E3 e B", "3=" + Mark + "abc"},
      {none, "wabc p0 E3 B", "=" + Mark + "abc"}, {none, "D7 w wx e B", "!Invalid encoding7="},
      {none, "none wtw\xC3\xB6 z p3 l", "1one/tw\xC3\xB6/"},
      {none, "a0" + Gruss + " a1again B", "=" + Mark + Gruss + "\r\nagain\r\n"},
      {none, "a3" + Gruss + " B", "=\xFF\xFEG\0r\0\xFC\0\xDF\0\r\0\n\0"s},
      {none, "a2" + Gruss + " B", "=" + AnsiToOem(ansi) + "\r\n"}, {"", "a3A B", "=\xFF\xFE" "A\0\r\0\n\0"s},
      {"abc\r\n", "a3x B", "=abc\r\nx\r\n"}, {"\xFF\xFE" "A\0"s, "a0 B", "=\xFF\xFE" "A\0\r\0\n\0"s},
      {"\xFE\xFF\0A"s, "a1B B", "=\xFE\xFF\0A\0B\0\r\0\n"s},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.content.value_or("-").substr(0, 16)) + " " + row.script);
    std::filesystem::remove(Root() / "t.txt");
    if (row.content) WriteFile("t.txt", *row.content);
    bool create = !row.content;
    std::optional<TTextStream> stream;
    const auto open = [&]() -> TTextStream& {
      if (!stream)
        stream.emplace(PathOf("t.txt"), std::exchange(create, false) ? FileModeCreate : FileModeOpenReadWrite);
      return *stream;
    };
    std::string out;
    std::istringstream steps(row.script);
    for (std::string step; steps >> step;) {
      const String text = Utf8BytesToString(step.substr(1));
      const auto n = static_cast<std::uint8_t>(step.size() > 1 ? step[1] - '0' : 0);
      String read;
      Char ch;
      try {
        switch (step[0]) {
          case 'c': while (open().ReadChar(ch)) read += ch; break;
          case 'r': if (open().ReadChar(ch)) read += ch; break;
          case 'l': for (int i = 0; i < 9 && open().ReadLine(read); ++i) out += StringToUtf8Bytes(read) + "/"; break;
          case 'e': out += std::to_string(static_cast<int>(open().Encoding())); break;
          case '@': out += "@" + std::to_string(open().Position()); break;
          case 'z': out += open().Eof() ? "1" : "0"; break;
          case 'E': open().SetEncoding(static_cast<TFileEncoding>(n)); break;
          case 'D': open().SetDefaultEncoding(static_cast<TFileEncoding>(n)); break;
          case 'w': open().WriteStr(text); break;
          case 'n': open().WriteLine(text); break;
          case 'L': open().SetLineSeparator(u"\n"); break;
          case 'p': open().SetPosition(n); break;
          case 'f': open().Flush(); break;
          case 'a': stream.reset(), TTextStream::AppendLine(PathOf("t.txt"), text.substr(1), TFileEncoding{n}); break;
          case 'B': stream.reset(), out += "=" + FileBytes("t.txt"); break;
        }
      } catch (const Exception& error) {
        out += "!" + StringToUtf8Bytes(error.Message());
      }
      out += StringToUtf8Bytes(read);  // after lines, what the last ReadLine left
    }
    EXPECT_EQ(out, row.output);
  }
}

// Share flags join the mode; with a creating mode a bare high byte reopens for reading and writing.
TEST_F(TextStream, OpensWithShareFlags) {
  const struct { std::uint16_t mode, flags; std::string after; } rows[] = {
      {FileModeOpenRead, FileModeOpenReadWrite | FileShareRead, "abcx"}, {FileModeCreate, 0x0100, Mark + "x"},
      {FileModeOpenRead, 0x0100, "abc!"}, {FileModeOpenRead, 0, "abc!"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(testing::Message() << row.mode << " " << row.flags);
    WriteFile("s.txt", "abc");
    std::string raised;
    {
      TTextStream stream(PathOf("s.txt"), row.mode, row.flags);
      stream.SetPosition(stream.Size());
      stream.WriteStr(u"x");
      if (!Raised([&] { stream.Flush(); }).empty()) raised = "!";
    }
    EXPECT_EQ(FileBytes("s.txt") + raised, row.after);
  }
}
