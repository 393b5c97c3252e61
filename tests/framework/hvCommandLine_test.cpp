#include "framework/hvCommandLine.h"

#include <limits>
#include <optional>
#include <tuple>

#include <gtest/gtest.h>

#include "rtl/Process.h"
#include "rtl/Utf8.h"

namespace {

// A parser over a list the test controls; each Reset loads it anew.
class TListParser : public TBaseCommandLineParser {
public:
  TListParser(ConstructionKey, TStringList source) : fSource(std::move(source)) {}
  TStringList fSource;

protected:
  void LoadParams() override { FParamList = fSource; }
};

std::unique_ptr<TListParser> ParserOver(TStringList params) {
  return TBaseCommandLineParser::Create<TListParser>(std::move(params));
}

TStringList Remaining(TBaseCommandLineParser& parser) {
  TStringList rest;
  String param = u"stale";
  while (parser.GetNext(param)) rest.push_back(param);
  EXPECT_EQ(param, u"");
  return rest;
}

// Process with handlers that log every event as one line.
TStringList ProcessLog(TListParser& parser, bool allowOptionsAfterArguments = false) {
  TStringList log;
  parser.SetOnFoundOption([&](TBaseCommandLineParser& sender, const String& name, const String& value, bool hasValue) {
    EXPECT_EQ(&sender, &parser);
    log.push_back(u"option " + name + (hasValue ? u" = " + value : u""));
  });
  parser.SetOnFoundArgument([&](TBaseCommandLineParser& sender, const String& name, bool& allowSuccessiveOptions) {
    EXPECT_EQ(&sender, &parser);
    EXPECT_FALSE(allowSuccessiveOptions);
    allowSuccessiveOptions = allowOptionsAfterArguments;
    log.push_back(u"argument " + name);
  });
  parser.Process();
  return log;
}

TEST(CommandLineParser, IsLoadedAndRewoundWhenCreatedAndAgainOnReset) {
  auto parser = ParserOver({u"a", u"b"});
  EXPECT_EQ(Remaining(*parser), (TStringList{u"a", u"b"}));
  parser->fSource = {u"c", u"-d"};
  parser->Reset();
  parser->Process();  // without handlers
  EXPECT_EQ(Remaining(*parser), TStringList());
  parser->Reset();
  EXPECT_EQ(Remaining(*parser), (TStringList{u"c", u"-d"}));
}

TEST(CommandLineParser, ProcessClassifiesOptionsAndArguments) {
  struct Case {
    TStringList params;
    TStringList events;
    bool longOptionsWithArguments = true;
    bool allowOptionsAfterArguments = false;
  };
  const Case cases[] = {
      {{u"-a", u"--b=1", u"--", u"-c", u"d", u"-e"},
       {u"option -a", u"option --b = 1", u"argument -c", u"argument d", u"argument -e"}},
      {{u"x", u"-y"}, {u"argument x", u"argument -y"}},
      {{u"x", u"-y", u"z", u"-w"}, {u"argument x", u"option -y", u"argument z", u"option -w"}, true, true},
      {{u"-", u"--", u"--"}, {u"option -", u"argument --"}},
      {{u"", u"-a"}, {u"argument ", u"argument -a"}},
      {{u"--name=a=b", u"-x="}, {u"option --name = a=b", u"option -x = "}},
      {{u"-a=b"}, {u"option -a=b"}, false},
      {{}, {}},
  };
  int i = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(i++);
    auto parser = ParserOver(c.params);
    parser->SetLongOptionsWithArguments(c.longOptionsWithArguments);
    EXPECT_EQ(ProcessLog(*parser, c.allowOptionsAfterArguments), c.events);
  }
  // Process goes on from the current position.
  auto parser = ParserOver({u"skipped", u"-a"});
  String param;
  parser->GetNext(param);
  EXPECT_EQ(ProcessLog(*parser), TStringList{u"option -a"});
}

TEST(CommandLineParser, HandlerErrorPassesThroughProcessAndKeepsThePosition) {
  auto parser = ParserOver({u"a", u"b", u"c"});
  parser->SetOnFoundArgument([](TBaseCommandLineParser&, const String& name, bool& allowSuccessiveOptions) {
    allowSuccessiveOptions = true;
    if (name == u"b") throw std::runtime_error("handler failed");
  });
  EXPECT_THROW(parser->Process(), std::runtime_error);
  EXPECT_EQ(Remaining(*parser), TStringList{u"c"});
}

// A value taken from the next parameter stays consumed, whether it fits or not.
TEST(CommandLineParser, OptionHandlerTakesValuesInlineOrFromTheNextParameter) {
  auto parser = ParserOver({u"-v", u"QUIET", u"-n=$10", u"-n", u"7", u"-b", u"off", u"-N", u"abc", u"-B", u"maybe",
                            u"-V", u"loud", u"dir", u"-s"});
  std::int32_t level = -1, number = 0, keptNumber = 5, keptLevel = 3;
  bool flag = true, keptFlag = true;
  String text = u"stale";
  std::vector<bool> fetched;
  TStringList arguments;
  parser->SetOnFoundOption([&](TBaseCommandLineParser& sender, const String& name, const String& value, bool hasValue) {
    const TStringList levels = {u"silent", u"quiet", u"normal"};
    if (name == u"-v") fetched.push_back(sender.FetchEnum(level, value, hasValue, levels));
    if (name == u"-n") fetched.push_back(sender.FetchValue(number, value, hasValue));
    if (name == u"-b") fetched.push_back(sender.FetchValue(flag, value, hasValue));
    if (name == u"-N") fetched.push_back(sender.FetchValue(keptNumber, value, hasValue));
    if (name == u"-B") fetched.push_back(sender.FetchValue(keptFlag, value, hasValue));
    if (name == u"-V") fetched.push_back(sender.FetchEnum(keptLevel, value, hasValue, levels));
    if (name == u"-s") fetched.push_back(sender.FetchValue(text, value, hasValue));  // nothing left
  });
  parser->SetOnFoundArgument([&](TBaseCommandLineParser&, const String& name, bool& allowSuccessiveOptions) {
    arguments.push_back(name);
    allowSuccessiveOptions = true;
  });
  parser->Process();
  EXPECT_EQ(fetched, (std::vector<bool>{true, true, true, true, false, false, false, false}));
  EXPECT_EQ(arguments, TStringList{u"dir"});
  EXPECT_EQ(std::tuple(level, number, flag, keptNumber, keptFlag, keptLevel), std::tuple(1, 7, false, 5, true, 3));
  EXPECT_EQ(text, u"");
  EXPECT_TRUE(parser->FetchValue(text, u"inline", true));
  EXPECT_EQ(text, u"inline");
}

// Fetches Text as an inline value into a target that starts at Before; the value, when
// the fetch succeeds.
template <typename T>
std::optional<T> Fetched(const String& text, T before) {
  T value = before;
  if (ParserOver({})->FetchValue(value, text, true)) return value;
  EXPECT_EQ(value, before) << "a failed fetch changed the target";
  return std::nullopt;
}

TEST(CommandLineParser, FetchIntegerAcceptsDecimalAndHexadecimal) {
  constexpr std::int32_t smallest = std::numeric_limits<std::int32_t>::min();
  const std::optional<std::int32_t> none;
  const std::pair<String, std::optional<std::int32_t>> cases[] = {
      {u" 42", 42}, {u"   +7", 7}, {u"007", 7}, {u"-0", 0}, {u"2147483647", 2147483647},
      {u"-2147483648", smallest}, {u"$1F", 31}, {u"0x1f", 31}, {u"0X1F", 31}, {u"x1f", 31},
      {u"X1F", 31}, {u" -$10", -16}, {u"$FFFFFFFF", -1}, {u"$80000000", smallest}, {u"-$FFFFFFFF", 1},
      {u"", none}, {u"   ", none}, {u"42 ", none}, {u"\t42", none}, {u"4 2", none}, {u"- 5", none},
      {u"--5", none}, {u"+-5", none}, {u"-", none}, {u"$", none}, {u"0x", none}, {u"2147483648", none},
      {u"-2147483649", none}, {u"99999999999999999999", none}, {u"$100000000", none},
      {u"$000000001", none}, {u"0x1G", none}, {u"1e3", none}, {u"\u0661", none},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(text));
    EXPECT_EQ(Fetched<std::int32_t>(text, 12345), expected);
  }
}

TEST(CommandLineParser, FetchBooleanAcceptsWordsAndIntegers) {
  const std::pair<String, std::optional<bool>> cases[] = {
      {u"true", true}, {u"TRUE", true}, {u"On", true}, {u"yEs", true}, {u"2", true}, {u"-1", true},
      {u"$1", true}, {u"false", false}, {u"OFF", false}, {u"No", false}, {u"0", false}, {u" 0x0", false},
      {u"maybe", std::nullopt}, {u"", std::nullopt}, {u"t", std::nullopt}, {u"yes ", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(text));
    // From both starting values, so that an untouched target shows.
    EXPECT_EQ(Fetched(text, false), expected);
    EXPECT_EQ(Fetched(text, true), expected);
  }
}

TEST(CommandLineParser, FetchEnumGivesTheFirstEntryEqualIgnoringCase) {
  const TStringList levels = {u"silent", u"quiet", u"normal", u"Quiet", u"d\u00E9bug"};
  const std::pair<String, std::int32_t> cases[] = {
      {u"QUIET", 1}, {u"silent", 0}, {u"D\u00C9BUG", 4}, {u"loud", -7}, {u"", -7}};
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(text));
    std::int32_t value = -7;
    EXPECT_EQ(ParserOver({})->FetchEnum(value, text, true, levels), expected != -7);
    EXPECT_EQ(value, expected);
  }
}

TEST(CommandLineParser, ProcessParserReadsTheProcessParameters) {
  // Only POSIX takes its parameters from main()'s arguments.
  const char* const argv[] = {"prog", "-r", "dir"};
  SetProcessArguments(3, argv);
  auto parser = TBaseCommandLineParser::Create<TCommandLineParser>();
  EXPECT_EQ(Remaining(*parser), ProcessParameters());
  SetProcessArguments(0, nullptr);
}

}  // namespace
