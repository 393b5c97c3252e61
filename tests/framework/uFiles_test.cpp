#include "framework/uFiles.h"

#include <fstream>
#include <iterator>

#include <gtest/gtest.h>

#include "framework/uStrings.h"
#include "rtl/Exceptions.h"
#include "support/MemoryStream.h"
#include "support/Raises.h"
#include "support/TempDir.h"

using namespace std::string_literals;

namespace {

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
  EXPECT_EQ(ReadAll(stream, 16384).size(), 16384u);
  stream.SetPosition(0);
  EXPECT_EQ(ReadAll(stream, 16384).size(), 16384u);
  EXPECT_EQ(inner.Log, (Log{"R0:16384"}));

  stream.SetPosition(0);
  // One byte more goes straight to the inner stream, after the dirty window.
  stream.Write("xy", 2);
  stream.SetPosition(20000);
  EXPECT_EQ(ReadAll(stream, 16385).size(), 16385u);
  stream.SetPosition(20000);
  EXPECT_EQ(ReadAll(stream, 1), "a");
  EXPECT_EQ(inner.Log, (Log{"R0:16384", "W0:16384", "R20000:16385", "R20000:16384"}));

  inner.Log.clear();
  const std::string block(16385, 'b');
  stream.SetPosition(40000);
  EXPECT_EQ(stream.Write(block.data(), 16384), 16384);
  EXPECT_EQ(inner.Log, (Log{"R40000:16384"}));
  stream.SetPosition(0);
  EXPECT_EQ(stream.Write(block.data(), 16385), 16385);
  EXPECT_EQ(inner.Log, (Log{"R40000:16384", "W40000:16384", "W0:16385"}));
  EXPECT_EQ(stream.Position(), 16385);
}

TEST(BufferedStream, DirtyWindowIsWrittenAtItsOwnPosition) {
  TMemoryTestStream inner(std::string(60000, '.'));
  TBufferedStream stream(&inner, false);
  stream.SetPosition(10);
  stream.Write("abc", 3);
  stream.SetPosition(50000);
  EXPECT_EQ(ReadAll(stream, 1), ".");
  EXPECT_EQ(inner.Log, (Log{"R10:16384", "W10:16384", "R50000:16384"}));
  EXPECT_EQ(inner.Bytes.substr(9, 5), ".abc.");
}

TEST(BufferedStream, WriteInsideALoadedWindowKeepsTheBytesAroundIt) {
  const std::string content = Repeat("0123456789", 100);
  TMemoryTestStream inner(content);
  {
    TBufferedStream stream(&inner, false);
    ReadAll(stream, 1);
    stream.SetPosition(500);
    stream.Write("XY", 2);
    EXPECT_EQ(inner.Bytes, content);  // nothing reaches the inner stream before the flush
    stream.SetPosition(499);
    EXPECT_EQ(ReadAll(stream, 4), "9XY2");
  }
  EXPECT_EQ(inner.Bytes, content.substr(0, 500) + "XY" + content.substr(502));
  EXPECT_EQ(inner.Log, (Log{"R0:16384", "W0:1000"}));
}

TEST(BufferedStream, BytesNeverWrittenOrReadStayOutOfTheInnerStream) {
  // Leave bytes in the window's memory that no longer belong to the stream.
  TMemoryTestStream inner(std::string(16384, '\xAA'));
  TBufferedStream stream(&inner, false);
  ReadAll(stream, 1);
  stream.SetSize(std::int64_t{3});
  stream.SetPosition(8);
  stream.Write("Z", 1);
  stream.SetPosition(3);
  EXPECT_EQ(ReadAll(stream, 6), std::string(5, '\0') + "Z");
  EXPECT_EQ(inner.Bytes, std::string(3, '\xAA') + std::string(5, '\0') + "Z");
}

TEST(BufferedStream, SizeIsTheInnerStreamsUntilFlushed) {
  TMemoryTestStream inner("0123456789");
  TBufferedStream stream(&inner, false);
  stream.SetPosition(10);
  stream.Write("abcde", 5);
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(stream.Position(), 15);
  EXPECT_EQ(stream.Seek(std::int64_t{0}, TSeekOrigin::soEnd), 10);
  stream.Flush();
  EXPECT_EQ(stream.Size(), 15);
}

TEST(BufferedStream, SetSizeFlushesFirstAndStandsWhereTheInnerStreamStands) {
  TMemoryTestStream inner;
  TBufferedStream stream(&inner, false);
  stream.Write("abcdef", 6);
  stream.SetSize(std::int64_t{3});
  EXPECT_EQ(inner.Bytes, "abc");
  EXPECT_EQ(inner.Log, (Log{"W0:6", "S3"}));
  EXPECT_EQ(stream.Position(), 3);
}

TEST(BufferedStream, CountsBelowOneMoveNothing) {
  TMemoryTestStream inner("abc");
  TBufferedStream stream(&inner, false);
  char buffer[4];
  for (const std::int32_t count : {0, -1, -16385}) {
    EXPECT_EQ(stream.Read(buffer, count), 0);
    EXPECT_EQ(stream.Write("abcd", count), 0);
  }
  EXPECT_EQ(stream.Position(), 0);
  EXPECT_TRUE(inner.Log.empty());
}

TEST(BufferedStream, OwnedInnerStreamIsFreedAfterTheFinalFlush) {
  std::string bytesWhenFreed = "not freed";
  {
    TBufferedStream stream(new TMemoryTestStream("", &bytesWhenFreed), true);
    stream.Write("abc", 3);
  }
  EXPECT_EQ(bytesWhenFreed, "abc");

  TMemoryTestStream borrowed("0123456789");
  {
    TBufferedStream stream(&borrowed, false);
    stream.SetPosition(4);
    stream.Write("x", 1);
  }
  EXPECT_EQ(borrowed.Bytes, "0123x56789");
  EXPECT_EQ(borrowed.Position(), 10);  // where the flush left it
}

TEST(BufferedStream, FailedFlushRaisesAndKeepsTheWindowDirty) {
  TMemoryTestStream inner;
  TBufferedStream stream(&inner, false);
  stream.Write("abc", 3);
  inner.RefuseWrites = true;
  EXPECT_THROW(stream.Flush(), EWriteError);
  inner.RefuseWrites = false;
  stream.Flush();
  EXPECT_EQ(inner.Bytes, "abc");
  // Freeing cannot raise; the failure of its flush is dropped.
  stream.Write("d", 1);
  inner.RefuseWrites = true;
}

// ---- The text stream, over files ----

namespace {

constexpr auto feAuto = TFileEncoding::feAuto;
constexpr auto feANSI = TFileEncoding::feANSI;
constexpr auto feOEM = TFileEncoding::feOEM;
constexpr auto feUTF16 = TFileEncoding::feUTF16;
constexpr auto feUTF8 = TFileEncoding::feUTF8;

const std::string Utf8Mark = "\xEF\xBB\xBF";

class TextStream : public TempDirTest {
protected:
  std::string FileBytes(const std::filesystem::path& name) const {
    std::ifstream file(Root() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  }
  String ReadUnits(const std::string& content) {
    WriteFile("read.txt", content);
    TTextStream stream(PathOf("read.txt"), FileModeOpenRead);
    String units;
    for (Char ch; stream.ReadChar(ch);) units += ch;
    return units;
  }
};

}  // namespace

TEST_F(TextStream, DetectionLooksAtMarksZeroBytesAndUtf8Validity) {
  struct Row { std::string content; TFileEncoding encoding; std::int64_t position; };
  const Row rows[] = {
      {"", feAuto, 0},
      {"\xFF", feANSI, 0},
      {"\xFF\xFE" "A\0"s, feUTF16, 2},
      {"\xFE\xFF\0A"s, feUTF16, 2},
      {"\xFF\xFE" "A", feANSI, 0},
      {Utf8Mark, feUTF8, 3},
      {"plain text\r\n", feANSI, 0},
      {Repeat("A\0"s, 30), feUTF8, 0},
      {Repeat("A\0"s, 31), feUTF16, 0},
      {Repeat("\0A"s, 31), feUTF16, 0},
      {"ab\0cd\0"s, feUTF8, 0},
      {"caf\xE9", feUTF8, 0},
      {"\xE9\xE8\xFC", feANSI, 0},
      {"caf\xE9 au lait", feANSI, 0},
      // Only the first 16384 bytes count.
      {Repeat("ab", 8191) + "\xC3\xA9\xE9x", feUTF8, 0},
      {Repeat("ab", 8190) + "\xC3\xA9\xE9x", feANSI, 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.content.substr(0, 16)));
    WriteFile("t.txt", row.content);
    TTextStream stream(PathOf("t.txt"), FileModeOpenRead);
    EXPECT_EQ(stream.Encoding(), row.encoding);
    EXPECT_EQ(stream.Position(), row.position);
  }
}

TEST_F(TextStream, ReadCharDecodesEveryEncodingLeniently) {
  struct Row { std::string content; String units; };
  const Row rows[] = {
      {"\xFF\xFE" "A\0B\0"s, u"AB"},
      {"\xFE\xFF\0A\0B"s, u"AB"},
      {Repeat("A\0"s, 31), String(31, u'A')},
      {Repeat("\0A"s, 31), String(31, u'A')},
      {"\xE9x", String{AnsiCharToWide('\xE9'), u'x'}},
      {Utf8Mark + "\xC3\xA9", u"\u00E9"},
      {Utf8Mark + "\xF0\x9F\x98\x80", u"\xD83D\xDE00"},
      {Utf8Mark + "\xC3" "A", u"\x0003" "A"},
      {Utf8Mark + "\x80", u"\x0080"},
      {Utf8Mark + "\xFF", u"\x00FF"},
      {Utf8Mark + "\xE2\x82", u"\x0082"},
      {Utf8Mark + "\xC0\x80", String(1, u'\0')},
      {Utf8Mark + "\xED\xA0\x80", u"\xD800"},
      {Utf8Mark + "\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF"},
      {Utf8Mark + "\xF4\x90\x80\x80", u"?"},
      {Utf8Mark + "\xF8\x88\x80\x80\x80", u"?"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.content));
    EXPECT_EQ(ReadUnits(row.content), row.units);
  }
}

TEST_F(TextStream, ReadLineEndsLinesAtCrLfLfAndLoneCr) {
  struct Row { std::string content; std::vector<String> lines; };
  const Row rows[] = {
      {"a\r\nb", {u"a", u"b"}}, {"a\rb", {u"a", u"b"}}, {"a\n\rb", {u"a", u"", u"b"}},
      {"a\r", {u"a"}},          {"a\r\n", {u"a"}},     {"\r\n", {u""}},
      {"", {}},
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
}

TEST_F(TextStream, SupplementaryCharactersSurviveLineEndsAndEofChecks) {
  // The look-ahead after CR meets a supplementary character and must give it back whole.
  WriteFile("t.txt", Utf8Mark + "a\r\xF0\x9F\x98\x80" "b");
  TTextStream stream(PathOf("t.txt"), FileModeOpenRead);
  String line;
  ASSERT_TRUE(stream.ReadLine(line));
  EXPECT_EQ(line, u"a");
  Char ch;
  ASSERT_TRUE(stream.ReadChar(ch));
  EXPECT_EQ(ch, 0xD83D);
  // The second half is still to come, though every byte has been read.
  WriteFile("u.txt", Utf8Mark + "\xF0\x9F\x98\x80");
  TTextStream last(PathOf("u.txt"), FileModeOpenRead);
  ASSERT_TRUE(last.ReadChar(ch));
  EXPECT_FALSE(last.Eof());
  ASSERT_TRUE(last.ReadLine(line));
  EXPECT_EQ(line, u"\xDE00");
  EXPECT_TRUE(last.Eof());
}

TEST_F(TextStream, WritingPutsTheMarkOfTheEncodingFirstOnANewStream) {
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

TEST_F(TextStream, AnEncodingOutsideTheFiveRaisesAndWritesNothing) {
  {
    TTextStream stream(PathOf("t.txt"), FileModeCreate);
    stream.SetDefaultEncoding(static_cast<TFileEncoding>(7));
    stream.WriteStr(u"");
    EXPECT_EQ(MessageOfRaised<EWriteError>([&] { stream.WriteStr(u"x"); }), u"Invalid encoding");
    EXPECT_EQ(stream.Encoding(), static_cast<TFileEncoding>(7));
  }
  EXPECT_EQ(FileBytes("t.txt"), "");
}

TEST_F(TextStream, SettingTheEncodingNeverOverwritesContent) {
  WriteFile("t.txt", "hello");
  {
    TTextStream stream(PathOf("t.txt"), FileModeOpenReadWrite);
    stream.SetEncoding(feUTF16);
    stream.SetEncoding(feUTF8);
    EXPECT_EQ(stream.Encoding(), feUTF8);
  }
  EXPECT_EQ(FileBytes("t.txt"), "hello");
  // Content still in the buffer counts as well.
  {
    TTextStream stream(PathOf("u.txt"), FileModeCreate);
    stream.WriteStr(u"abc");
    stream.SetPosition(0);
    stream.SetEncoding(feUTF16);
  }
  EXPECT_EQ(FileBytes("u.txt"), Utf8Mark + "abc");
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

TEST_F(TextStream, HandleStreamStartsAtTheFileStartAndLeavesTheHandleOpen) {
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
    EXPECT_EQ(file.Write("!", 1), 1);
  }
  EXPECT_EQ(FileBytes("t.txt"), Utf8Mark + "one\r\ntwo\r\n!");
}

TEST_F(TextStream, ShareFlagsAreJoinedToTheMode) {
  WriteFile("t.txt", "abc");
  {
    TTextStream stream(PathOf("t.txt"), FileModeOpenRead, FileModeOpenReadWrite | FileShareRead);
    stream.SetPosition(3);
    stream.WriteStr(u"d");
  }
  EXPECT_EQ(FileBytes("t.txt"), "abcd");
}

TEST_F(TextStream, AppendLineStartsAMissingFileInTheChosenEncoding) {
  const String msg = u"Gr\u00FC\u00DF" "e";
  const std::string ansi = WideToMultiByte(CodePageAnsi, msg.data(), static_cast<int>(msg.size()));
  struct Row { TFileEncoding encoding; std::string bytes; };
  const Row rows[] = {
      {feAuto, Utf8Mark + "Gr\xC3\xBC\xC3\x9F" "e\r\n"},
      {feUTF8, Utf8Mark + "Gr\xC3\xBC\xC3\x9F" "e\r\n"},
      {feUTF16, "\xFF\xFEG\0r\0\xFC\0\xDF\0e\0\r\0\n\0"s},
      {feANSI, ansi + "\r\n"},
      {feOEM, AnsiToOem(ansi) + "\r\n"},
  };
  int i = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(i);
    const std::string name = "log" + std::to_string(i++) + ".txt";
    TTextStream::AppendLine(PathOf(name), msg, row.encoding);
    EXPECT_EQ(FileBytes(name), row.bytes);
  }
  // The file is closed again: a second call can open it.
  TTextStream::AppendLine(PathOf("log0.txt"), u"again", feANSI);
  EXPECT_EQ(FileBytes("log0.txt"), rows[0].bytes + "again\r\n");
  EXPECT_THROW(TTextStream::AppendLine(PathOf(std::filesystem::path("no") / "log.txt"), msg, feAuto), EFCreateError);
}

TEST_F(TextStream, AppendLineKeepsTheEncodingOfAnExistingFile) {
  struct Row { std::string before; TFileEncoding encoding; String msg; std::string after; };
  const Row rows[] = {
      {"abc\r\n", feUTF16, u"x", "abc\r\nx\r\n"},
      {"abc", feAuto, u"def", "abcdef\r\n"},
      {"\xFF\xFE" "A\0"s, feAuto, u"", "\xFF\xFE" "A\0\r\0\n\0"s},
      {"\xFE\xFF\0A"s, feANSI, u"B", "\xFE\xFF\0A\0B\0\r\0\n"s},
      {"\xC3\xA9\r\n", feANSI, u"\u00FC", "\xC3\xA9\r\n\xC3\xBC\r\n"},
      {"", feUTF16, u"A", "\xFF\xFE" "A\0\r\0\n\0"s},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.before));
    WriteFile("t.txt", row.before);
    TTextStream::AppendLine(PathOf("t.txt"), row.msg, row.encoding);
    EXPECT_EQ(FileBytes("t.txt"), row.after);
  }
}
