#include "framework/hvCommandLine.h"

#include <gtest/gtest.h>

#include "rtl/Process.h"
#include "rtl/Utf8.h"

namespace {

// A parser over a list the test controls; each Reset loads it anew.
class TListParser : public TBaseCommandLineParser {
public:
  TListParser(ConstructionKey, TStringList source) : Source(std::move(source)) {}
  TStringList Source;

protected:
  void LoadParams() override { FParamList = Source; }
};

const TStringList Levels = {u"silent", u"quiet", u"normal", u"Quiet", u"d\u00E9bug"};

// The parameters left, each followed by a blank, then what the last GetNext left in its target.
std::string Remaining(TBaseCommandLineParser& parser) {
  std::string rest;
  String param = u"stale";
  while (parser.GetNext(param)) rest += StringToUtf8Bytes(param) + " ";
  return rest + StringToUtf8Bytes(param);
}

// What a fetch makes of Text given inline: i an integer, b a truth value (from false), l the
// index of a level; "!" when it fails and leaves the target alone.
std::string Fetch(char kind, const String& text) {
  auto parser = TBaseCommandLineParser::Create<TListParser>(TStringList{});
  std::int32_t number = -7;
  bool truth = false;
  const bool fetched = kind == 'i'   ? parser->FetchValue(number, text, true)
                       : kind == 'l' ? parser->FetchEnum(number, text, true, Levels)
                                     : parser->FetchValue(truth, text, true);
  if (kind == 'b') number = truth ? 1 : fetched ? 0 : -7;
  return fetched ? std::to_string(number) : number == -7 ? "!" : "changed";
}

// The events of Process: <option|value> with what -i or -s fetched (an integer or text, from
// the next parameter when the option holds none), [argument]; an argument that starts with
// "+" allows options again.
std::string Events(TListParser& parser) {
  std::string log;
  parser.SetOnFoundOption([&](TBaseCommandLineParser& sender, const String& name, const String& value, bool has) {
    EXPECT_EQ(&sender, &parser);
    std::int32_t number = -7;
    String text;
    log += "<" + StringToUtf8Bytes(has ? name + u"|" + value : name);
    if (name == u"-i") log += sender.FetchValue(number, value, has) ? " " + std::to_string(number) : " !";
    if (name == u"-s") log += sender.FetchValue(text, value, has) ? " " + StringToUtf8Bytes(text) : " !" + StringToUtf8Bytes(text);
    log += ">";
  });
  parser.SetOnFoundArgument([&](TBaseCommandLineParser&, const String& name, bool& allowOptions) {
    log += (allowOptions ? "[?" : "[") + StringToUtf8Bytes(name) + "]";
    allowOptions = name.starts_with(u'+');
  });
  parser.Process();
  return log;
}

TEST(CommandLineParser, IsLoadedAndRewoundWhenCreatedAndOnReset) {
  auto parser = TBaseCommandLineParser::Create<TListParser>(TStringList{u"a", u"b"});
  EXPECT_EQ(Remaining(*parser), "a b ");
  parser->Source = {u"c", u"-d"};
  parser->Reset();
  parser->Process();  // without handlers
  EXPECT_EQ(Remaining(*parser), "");
  parser->Reset();
  String first;
  parser->GetNext(first);
  EXPECT_EQ(Events(*parser), "<-d>");  // from the current position on
  // The process's own parser reads the process's parameters.
  const char* const argv[] = {"prog", "-r", "dir"};
  SetProcessArguments(3, argv);
  std::string expected;
  for (const String& param : ProcessParameters()) expected += StringToUtf8Bytes(param) + " ";
  EXPECT_EQ(Remaining(*TBaseCommandLineParser::Create<TCommandLineParser>()), expected);
  SetProcessArguments(0, nullptr);
}

TEST(CommandLineParser, ProcessReportsOptionsUntilTheFirstArgumentOrDoubleDash) {
  const struct { TStringList params; std::string events; bool longOptionsWithArguments = true; } rows[] = {
      {{u"-a", u"--b=1", u"--", u"-c", u"d", u"-e"}, "<-a><--b|1>[-c][d][-e]"},
      {{u"x", u"-y"}, "[x][-y]"}, {{u"+x", u"-y", u"z", u"-w"}, "[+x]<-y>[z][-w]"}, {{u"-", u"--", u"--"}, "<->[--]"},
      {{u"", u"-a"}, "[][-a]"}, {{u"--name=a=b", u"-x="}, "<--name|a=b><-x|>"}, {{u"-a=b"}, "<-a=b>", false}, {{}, ""},
      // A value comes after "=" or is the next parameter, which stays taken whether it fits or not.
      {{u"-i", u"7", u"-i=$10", u"-i", u"abc", u"-s", u"x y", u"-s=", u"+d", u"-s"}, "<-i 7><-i|$10 16><-i !><-s x y><-s| >[+d]<-s !>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.events);
    auto parser = TBaseCommandLineParser::Create<TListParser>(row.params);
    parser->SetLongOptionsWithArguments(row.longOptionsWithArguments);
    EXPECT_EQ(Events(*parser), row.events);
  }
}

TEST(CommandLineParser, FetchesConvertIntegersTruthValuesAndLevels) {
  const struct { char kind; String text; std::string value; } rows[] = {
      // Decimal within 32 bits, or up to eight hexadecimal digits taken as a 32-bit pattern.
      {'i', u" 42", "42"}, {'i', u"   +7", "7"}, {'i', u"007", "7"}, {'i', u"-0", "0"}, {'i', u"2147483647", "2147483647"},
      {'i', u"-2147483648", "-2147483648"}, {'i', u"$1F", "31"}, {'i', u"0x1f", "31"}, {'i', u"0X1F", "31"},
      {'i', u"x1f", "31"}, {'i', u"X1F", "31"}, {'i', u" -$10", "-16"}, {'i', u"$FFFFFFFF", "-1"},
      {'i', u"$80000000", "-2147483648"}, {'i', u"-$FFFFFFFF", "1"}, {'i', u"", "!"}, {'i', u"   ", "!"},
      {'i', u"42 ", "!"}, {'i', u"\t42", "!"}, {'i', u"4 2", "!"}, {'i', u"- 5", "!"}, {'i', u"--5", "!"},
      {'i', u"+-5", "!"}, {'i', u"-", "!"}, {'i', u"$", "!"}, {'i', u"0x", "!"}, {'i', u"2147483648", "!"},
      {'i', u"-2147483649", "!"}, {'i', u"99999999999999999999", "!"}, {'i', u"$100000000", "!"},
      {'i', u"$000000001", "!"}, {'i', u"0x1G", "!"}, {'i', u"1e3", "!"}, {'i', u"\u0661", "!"},
      // Words in any case, or an integer that is true when not zero.
      {'b', u"true", "1"}, {'b', u"TRUE", "1"}, {'b', u"On", "1"}, {'b', u"yEs", "1"}, {'b', u"2", "1"},
      {'b', u"-1", "1"}, {'b', u"$1", "1"}, {'b', u"false", "0"}, {'b', u"OFF", "0"}, {'b', u"No", "0"},
      {'b', u"0", "0"}, {'b', u" 0x0", "0"}, {'b', u"maybe", "!"}, {'b', u"", "!"}, {'b', u"t", "!"}, {'b', u"yes ", "!"},
      // The first level equal to the text, case ignored.
      {'l', u"QUIET", "1"}, {'l', u"silent", "0"}, {'l', u"D\u00C9BUG", "4"}, {'l', u"loud", "!"}, {'l', u"", "!"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind + (" " + StringToUtf8Bytes(row.text)));
    EXPECT_EQ(Fetch(row.kind, row.text), row.value);
  }
}

}  // namespace
