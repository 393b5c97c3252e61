#include "framework/uFiles.h"

#include <fstream>
#include <iterator>
#include <optional>

#include <gtest/gtest.h>

#include "framework/uStrings.h"
#include "rtl/Exceptions.h"
#include "support/MemoryStream.h"
#include "support/Raises.h"
#include "support/TempDir.h"

using namespace std::string_literals;

namespace {

using enum TFileEncoding;
using Log = std::vector<std::string>;

std::string Repeat(std::string_view piece, int times) {
  std::string result;
  for (int i = 0; i < times; ++i) result += piece;
  return result;
}

std::string ReadAll(TBufferedStream& stream, std::int32_t count) {
  std::string bytes(static_cast<std::size_t>(count), '\0');
  bytes.resize(static_cast<std::size_t>(stream.Read(bytes.data(), count)));
  return bytes;
}

}  // namespace

// ---- The buffered stream, against an inner stream that logs what reaches it ----

TEST(BufferedStream, SmallReadsComeFromOneInnerReadPerWindow) {
  TMemoryTestStream inner(Repeat("0123456789", 5000));
  TBufferedStream stream(&inner, false);
  for (int i = 0; i < 1638; ++i) ASSERT_EQ(ReadAll(stream, 10), "0123456789");
  EXPECT_EQ(ReadAll(stream, 10), "0123456789");  // crosses the window's end: one more read
  EXPECT_EQ(inner.Log, (Log{"R0:16384", "R16384:16384"}));
  EXPECT_EQ(stream.Position(), 16390);
}

TEST(BufferedStream, TransfersLargerThanTheWindowBypassItAfterAFlush) {
  TMemoryTestStream inner(std::string(60000, 'a'));
  TBufferedStream stream(&inner, false);
  // Exactly the window's size goes through the window: reading it again costs nothing.
  for (int i = 0; i < 2; ++i) {
    stream.SetPosition(0);
    EXPECT_EQ(ReadAll(stream, 16384).size(), 16384u);
  }
  EXPECT_EQ(inner.Log, (Log{"R0:16384"}));
  // One byte more goes straight to the inner stream, after the dirty window.
  stream.SetPosition(0);
  stream.Write("xy", 2);
  stream.SetPosition(20000);
  EXPECT_EQ(ReadAll(stream, 16385).size(), 16385u);
  stream.SetPosition(20000);
  EXPECT_EQ(ReadAll(stream, 1), "a");
  EXPECT_EQ(inner.Log, (Log{"R0:16384", "W0:16384", "R20000:16385", "R20000:16384"}));
  // Writes alike; the dirty window goes to its own position, not to where the stream stands.
  inner.Log.clear();
  const std::string block(16385, 'b');
  stream.SetPosition(40000);
  EXPECT_EQ(stream.Write(block.data(), 16384), 16384);
  stream.SetPosition(0);
  EXPECT_EQ(stream.Write(block.data(), 16385), 16385);
  EXPECT_EQ(inner.Log, (Log{"R40000:16384", "W40000:16384", "W0:16385"}));
  EXPECT_EQ(stream.Position(), 16385);
}

TEST(BufferedStream, WritesKeepTheBytesAroundThemAndBytesNeverWrittenOrReadStayOut) {
  const std::string content = Repeat("0123456789", 100);
  TMemoryTestStream inner(content);
  TBufferedStream stream(&inner, false);
  ReadAll(stream, 1);
  stream.SetPosition(500);
  stream.Write("XY", 2);
  EXPECT_EQ(inner.Bytes, content);  // nothing reaches the inner stream before the flush
  stream.SetPosition(499);
  EXPECT_EQ(ReadAll(stream, 4), "9XY2");
  stream.Flush();
  EXPECT_EQ(inner.Bytes, content.substr(0, 500) + "XY" + content.substr(502));
  EXPECT_EQ(inner.Log, (Log{"R0:16384", "W0:1000"}));
  // The window's memory still holds bytes that no longer belong to the stream.
  stream.SetSize(std::int64_t{3});
  stream.SetPosition(8);
  stream.Write("Z", 1);
  stream.SetPosition(3);
  EXPECT_EQ(ReadAll(stream, 6), std::string(5, '\0') + "Z");
  EXPECT_EQ(inner.Bytes, "012" + std::string(5, '\0') + "Z");
}

TEST(BufferedStream, SizeIgnoresUnflushedBytesAndSetSizeFlushesFirst) {
  TMemoryTestStream inner("0123456789");
  TBufferedStream stream(&inner, false);
  char buffer[4];
  for (const std::int32_t count : {0, -1, -16385}) {  // move nothing
    EXPECT_EQ(stream.Read(buffer, count), 0);
    EXPECT_EQ(stream.Write("abcd", count), 0);
  }
  EXPECT_EQ(stream.Position(), 0);
  stream.SetPosition(10);
  stream.Write("abcde", 5);
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(stream.Position(), 15);
  EXPECT_EQ(stream.Seek(std::int64_t{0}, TSeekOrigin::soEnd), 10);
  stream.SetSize(std::int64_t{12});  // then stands where the inner stream stands
  EXPECT_EQ(inner.Bytes, "0123456789ab");
  EXPECT_EQ(inner.Log, (Log{"R10:16384", "W10:5", "S12"}));
  EXPECT_EQ(stream.Position(), 12);
}

TEST(BufferedStream, FailedFlushRaisesAndKeepsTheWindowDirty) {
  std::string bytesWhenFreed = "not freed";
  {
    auto* inner = new TMemoryTestStream("", &bytesWhenFreed);
    TBufferedStream stream(inner, true);  // owned: freed after the final flush
    stream.Write("abc", 3);
    inner->RefuseWrites = true;
    EXPECT_THROW(stream.Flush(), EWriteError);
    inner->RefuseWrites = false;
  }
  EXPECT_EQ(bytesWhenFreed, "abc");
  // Freeing cannot raise; the failure of its flush is dropped.
  TMemoryTestStream refusing;
  refusing.RefuseWrites = true;
  TBufferedStream(&refusing, false).Write("d", 1);
}

// ---- The text stream, over files ----

namespace {

const std::string Utf8Mark = "\xEF\xBB\xBF";

class TextStream : public TempDirTest {
protected:
  std::string FileBytes(const std::filesystem::path& name) const {
    std::ifstream file(Root() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }
};

}  // namespace

// Files with marks are in the next test, where reading shows what was detected.
TEST_F(TextStream, DetectionLooksAtMarksZeroBytesAndUtf8Validity) {
  struct Row { std::string content; TFileEncoding encoding; };
  const Row rows[] = {
      {"", feAuto}, {"\xFF", feANSI}, {"\xFF\xFE" "A", feANSI}, {"plain text\r\n", feANSI},
      {Repeat("A\0"s, 30), feUTF8}, {"\xE9\xE8\xFC", feANSI}, {"caf\xE9 au lait", feANSI},
      {"caf\xE9", feUTF8},  // high bytes at the end may be a character cut short
      // Only the first 16384 bytes count.
      {Repeat("ab", 8191) + "\xC3\xA9\xE9x", feUTF8}, {Repeat("ab", 8190) + "\xC3\xA9\xE9x", feANSI},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.content.substr(0, 16)));
    WriteFile("t.txt", row.content);
    TTextStream stream(PathOf("t.txt"), FileModeOpenRead);
    EXPECT_EQ(stream.Encoding(), row.encoding);
    EXPECT_EQ(stream.Position(), 0);
  }
}

TEST_F(TextStream, ReadCharDetectsAndDecodesEveryEncodingLeniently) {
  struct Row { std::string content; String units; };
  const Row rows[] = {
      {"\xFF\xFE" "A\0B\0"s, u"AB"}, {"\xFE\xFF\0A\0B"s, u"AB"},
      // Without a mark, UTF-16 takes more than 30 zero bytes, all on one side.
      {Repeat("A\0"s, 31), String(31, u'A')}, {Repeat("\0A"s, 31), String(31, u'A')},
      {"\xE9x", String{AnsiCharToWide('\xE9'), u'x'}}, {Utf8Mark + "\xC3\xA9", u"\u00E9"},
      {Utf8Mark + "\xF0\x9F\x98\x80", u"\xD83D\xDE00"}, {Utf8Mark + "\xC3" "A", u"\x0003" "A"},
      {Utf8Mark + "\x80", u"\x0080"}, {Utf8Mark + "\xFF", u"\x00FF"}, {Utf8Mark + "\xE2\x82", u"\x0082"},
      {Utf8Mark + "\xC0\x80", String(1, u'\0')}, {Utf8Mark + "\xED\xA0\x80", u"\xD800"},
      {Utf8Mark + "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"}, {Utf8Mark + "\xF4\x90\x80\x80", u"?"},
      {Utf8Mark + "\xF8\x88\x80\x80\x80", u"?"}, {Utf8Mark, u""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.content));
    WriteFile("t.txt", row.content);
    TTextStream stream(PathOf("t.txt"), FileModeOpenRead);
    String units;
    for (Char ch; stream.ReadChar(ch);) units += ch;
    EXPECT_EQ(units, row.units);
  }
}

TEST_F(TextStream, ReadLineEndsLinesAtCrLfLfAndLoneCr) {
  struct Row { std::string content; std::vector<String> lines; };
  const Row rows[] = {
      {"a\r\nb", {u"a", u"b"}}, {"a\rb", {u"a", u"b"}}, {"a\n\rb", {u"a", u"", u"b"}},
      {"a\r", {u"a"}},          {"a\r\n", {u"a"}},     {"\r\n", {u""}},
      {"", {}},
      // The look-ahead after CR meets a supplementary character and must give it back whole.
      {Utf8Mark + "a\r\xF0\x9F\x98\x80" "b", {u"a", u"\U0001F600b"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.content));
    WriteFile("t.txt", row.content);
    TTextStream stream(PathOf("t.txt"), FileModeOpenRead);
    std::vector<String> lines;
    String line = u"not cleared";
    while (stream.ReadLine(line)) lines.push_back(line);
    EXPECT_EQ(lines, row.lines);
    EXPECT_EQ(line, u"");
  }
  // The second half is still to come, though every byte has been read.
  WriteFile("u.txt", Utf8Mark + "\xF0\x9F\x98\x80");
  TTextStream stream(PathOf("u.txt"), FileModeOpenRead);
  Char ch;
  ASSERT_TRUE(stream.ReadChar(ch));
  EXPECT_FALSE(stream.Eof());
  String line;
  ASSERT_TRUE(stream.ReadLine(line));
  EXPECT_EQ(line, u"\xDE00");
  EXPECT_TRUE(stream.Eof());
}

TEST_F(TextStream, WritingPutsTheMarkFirstOnANewStreamAndNeverOverContent) {
  struct Row { void (*write)(TTextStream&); std::string bytes; TFileEncoding encoding; };
  const Row rows[] = {
      {[](TTextStream& s) { s.WriteStr(u""); s.WriteLine(u"h\u00E9"); }, Utf8Mark + "h\xC3\xA9\r\n", feUTF8},
      {[](TTextStream& s) { s.WriteStr(u""); }, "", feAuto},
      {[](TTextStream& s) { s.WriteLine(u""); }, Utf8Mark + "\r\n", feUTF8},
      {[](TTextStream& s) { s.SetDefaultEncoding(feAuto); s.WriteLine(u"h\u00E9"); }, "h\xC3\xA9\r\n", feAuto},
      {[](TTextStream& s) { s.SetDefaultEncoding(feUTF16); s.WriteStr(u"h\u00E9"); }, "\xFF\xFE" "h\0\xE9\0"s, feUTF16},
      {[](TTextStream& s) { s.SetEncoding(feUTF16); EXPECT_EQ(s.Position(), 2); }, "\xFF\xFE", feUTF16},
      {[](TTextStream& s) { s.SetPosition(1); s.SetEncoding(feUTF8); }, "", feUTF8},
      {[](TTextStream& s) { s.SetLineSeparator(u"\n"); s.WriteLine(u"a"); }, Utf8Mark + "a\n", feUTF8},
      // A read decides the empty stream as ANSI, which has no mark.
      {[](TTextStream& s) { Char ch; EXPECT_FALSE(s.ReadChar(ch)); s.WriteStr(u"x"); }, "x", feANSI},
      // Content, flushed or still in the window, is never overwritten by a mark.
      {[](TTextStream& s) { s.WriteStr(u"abc"); s.Flush(); s.SetPosition(0); s.SetEncoding(feUTF16); },
       Utf8Mark + "abc", feUTF16},
      {[](TTextStream& s) { s.WriteStr(u"abc"); s.SetPosition(0); s.SetEncoding(feUTF16); }, Utf8Mark + "abc", feUTF16},
      // An encoding outside the five raises and writes nothing; empty text is no write at all.
      {[](TTextStream& s) {
         s.SetDefaultEncoding(static_cast<TFileEncoding>(7));
         s.WriteStr(u"");
         EXPECT_EQ(MessageOfRaised<EWriteError>([&] { s.WriteStr(u"x"); }), u"Invalid encoding");
       }, "", static_cast<TFileEncoding>(7)},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(i);
    const std::string name = "new" + std::to_string(i++) + ".txt";
    {
      TTextStream stream(PathOf(name), FileModeCreate);
      row.write(stream);
      EXPECT_EQ(stream.Encoding(), row.encoding);
    }
    EXPECT_EQ(FileBytes(name), row.bytes);
  }
}

TEST_F(TextStream, TextCanBeReadBackBeforeItIsFlushed) {
  TTextStream stream(PathOf("t.txt"), FileModeCreate);
  stream.WriteLine(u"one");
  stream.WriteStr(u"tw\u00F6");
  stream.SetPosition(3);
  String line;
  ASSERT_TRUE(stream.ReadLine(line));
  EXPECT_EQ(line, u"one");
  ASSERT_TRUE(stream.ReadLine(line));
  EXPECT_EQ(line, u"tw\u00F6");
  EXPECT_FALSE(stream.ReadLine(line));
}

TEST_F(TextStream, HandleStartsAtTheFileStartAndStaysOpenAndShareFlagsJoinTheMode) {
  WriteFile("t.txt", Utf8Mark + "one\r\n");
  {
    TFileStream file(PathOf("t.txt"), FileModeOpenReadWrite);
    file.SetPosition(5);
    {
      TTextStream text(file.Handle());
      EXPECT_EQ(text.Encoding(), feUTF8);
      text.SetPosition(text.Size());
      text.WriteLine(u"two");
    }
    EXPECT_EQ(file.Write("!", 1), 1);  // where the final flush left the handle
  }
  {
    TTextStream stream(PathOf("t.txt"), FileModeOpenRead, FileModeOpenReadWrite | FileShareRead);
    stream.SetPosition(stream.Size());
    stream.WriteStr(u"3");
  }
  EXPECT_EQ(FileBytes("t.txt"), Utf8Mark + "one\r\ntwo\r\n!3");
}

TEST_F(TextStream, AppendLineStartsAFileInTheChosenEncodingOrKeepsTheFilesOwn) {
  const String msg = u"Gr\u00FC\u00DF" "e";
  const std::string ansi = WideToMultiByte(CodePageAnsi, msg.data(), static_cast<int>(msg.size()));
  const std::optional<std::string> missing;
  struct Row { std::optional<std::string> before; TFileEncoding encoding; String msg; std::string after; };
  const Row rows[] = {
      {missing, feAuto, msg, Utf8Mark + "Gr\xC3\xBC\xC3\x9F" "e\r\n"},
      {missing, feUTF8, msg, Utf8Mark + "Gr\xC3\xBC\xC3\x9F" "e\r\n"},
      {missing, feUTF16, msg, "\xFF\xFEG\0r\0\xFC\0\xDF\0e\0\r\0\n\0"s},
      {missing, feANSI, msg, ansi + "\r\n"},
      {missing, feOEM, msg, AnsiToOem(ansi) + "\r\n"},
      {"", feUTF16, u"A", "\xFF\xFE" "A\0\r\0\n\0"s},
      {"abc\r\n", feUTF16, u"x", "abc\r\nx\r\n"},
      {"abc", feAuto, u"def", "abcdef\r\n"},
      {"\xFF\xFE" "A\0"s, feAuto, u"", "\xFF\xFE" "A\0\r\0\n\0"s},
      {"\xFE\xFF\0A"s, feANSI, u"B", "\xFE\xFF\0A\0B\0\r\0\n"s},
      {"\xC3\xA9\r\n", feANSI, u"\u00FC", "\xC3\xA9\r\n\xC3\xBC\r\n"},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(i);
    const std::string name = "log" + std::to_string(i++) + ".txt";
    if (row.before) WriteFile(name, *row.before);
    TTextStream::AppendLine(PathOf(name), row.msg, row.encoding);
    EXPECT_EQ(FileBytes(name), row.after);
  }
  // The file is closed again: a second call can open it.
  TTextStream::AppendLine(PathOf("log0.txt"), u"again", feANSI);
  EXPECT_EQ(FileBytes("log0.txt"), rows[0].after + "again\r\n");
  EXPECT_THROW(TTextStream::AppendLine(PathOf(std::filesystem::path("no") / "log.txt"), msg, feAuto), EFCreateError);
}
