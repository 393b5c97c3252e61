#include "framework/hvCommandLine.h"

#include <limits>
#include <optional>

#include <gtest/gtest.h>

#include "rtl/Process.h"
#include "rtl/Utf8.h"

namespace {

// A parser over a list the test controls; each Reset loads it anew.
class TListParser : public TBaseCommandLineParser {
public:
  TListParser(ConstructionKey, TStringList source) : fSource(std::move(source)) {}
  TStringList fSource;
  int fLoads = 0;

protected:
  void LoadParams() override {
    ++fLoads;
    FParamList = fSource;
  }
};

std::unique_ptr<TListParser> ParserOver(TStringList params) {
  return TBaseCommandLineParser::Create<TListParser>(std::move(params));
}

TStringList Remaining(TBaseCommandLineParser& parser) {
  TStringList rest;
  String param;
  while (parser.GetNext(param)) rest.push_back(param);
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
  EXPECT_EQ(parser->fLoads, 1);
  String param = u"stale";
  ASSERT_TRUE(parser->GetNext(param));
  EXPECT_EQ(param, u"a");

  parser->fSource = {u"c"};
  parser->Reset();
  EXPECT_EQ(Remaining(*parser), TStringList{u"c"});
  param = u"stale";
  EXPECT_FALSE(parser->GetNext(param));
  EXPECT_EQ(param, u"");
}

TEST(CommandLineParser, EmptyListGivesNothing) {
  auto parser = ParserOver({});
  String param = u"stale";
  EXPECT_FALSE(parser->GetNext(param));
  EXPECT_EQ(param, u"");
  EXPECT_EQ(ProcessLog(*parser), TStringList());
}

TEST(CommandLineParser, ProcessClassifiesOptionsAndArguments) {
  struct Case {
    const char* name;
    TStringList params;
    TStringList events;
    bool longOptionsWithArguments = true;
    bool allowOptionsAfterArguments = false;
  };
  const Case cases[] = {
      {"options end at --",
       {u"-a", u"--b=1", u"--", u"-c", u"d", u"-e"},
       {u"option -a", u"option --b = 1", u"argument -c", u"argument d", u"argument -e"}},
      {"options end at the first argument", {u"x", u"-y"}, {u"argument x", u"argument -y"}},
      {"handler allows options again", {u"x", u"-y", u"z", u"-w"},
       {u"argument x", u"option -y", u"argument z", u"option -w"}, true, true},
      {"lone dash", {u"-", u"-"}, {u"option -", u"option -"}},
      {"second --", {u"--", u"--"}, {u"argument --"}},
      {"empty parameter", {u"", u"-a"}, {u"argument ", u"argument -a"}},
      {"value split at the first =", {u"--name=a=b", u"-x="}, {u"option --name = a=b", u"option -x = "}},
      {"no values", {u"-a=b", u"--"}, {u"option -a=b"}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto parser = ParserOver(c.params);
    parser->SetLongOptionsWithArguments(c.longOptionsWithArguments);
    EXPECT_EQ(ProcessLog(*parser, c.allowOptionsAfterArguments), c.events);
  }
}

TEST(CommandLineParser, ProcessGoesOnFromTheCurrentPosition) {
  auto parser = ParserOver({u"skipped", u"-a", u"b"});
  String param;
  ASSERT_TRUE(parser->GetNext(param));
  EXPECT_EQ(ProcessLog(*parser), (TStringList{u"option -a", u"argument b"}));
  EXPECT_FALSE(parser->GetNext(param));
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

TEST(CommandLineParser, UnassignedHandlersAreSkipped) {
  auto parser = ParserOver({u"-a", u"b"});
  parser->Process();
  EXPECT_EQ(Remaining(*parser), TStringList());
}

TEST(CommandLineParser, OptionHandlerTakesValuesInlineOrFromTheNextParameter) {
  auto parser = ParserOver({u"-v", u"QUIET", u"-n=$10", u"-n", u"7", u"-b", u"off", u"dir"});
  std::int32_t level = -1;
  std::int32_t number = 0;
  bool flag = true;
  TStringList arguments;
  parser->SetOnFoundOption([&](TBaseCommandLineParser& sender, const String& name, const String& value, bool hasValue) {
    bool fetched = false;
    if (name == u"-v") fetched = sender.FetchEnum(level, value, hasValue, {u"silent", u"quiet", u"normal"});
    if (name == u"-n") fetched = sender.FetchValue(number, value, hasValue);
    if (name == u"-b") fetched = sender.FetchValue(flag, value, hasValue);
    EXPECT_TRUE(fetched) << StringToUtf8Bytes(name);
  });
  parser->SetOnFoundArgument(
      [&](TBaseCommandLineParser&, const String& name, bool&) { arguments.push_back(name); });
  parser->Process();
  EXPECT_EQ(level, 1);
  EXPECT_EQ(number, 7);
  EXPECT_FALSE(flag);
  EXPECT_EQ(arguments, TStringList{u"dir"});
}

TEST(CommandLineParser, FetchValueTakesTheInlineValueOrTheNextParameter) {
  auto parser = ParserOver({u"next"});
  String value = u"stale";
  EXPECT_TRUE(parser->FetchValue(value, u"inline", true));
  EXPECT_EQ(value, u"inline");
  EXPECT_TRUE(parser->FetchValue(value, u"inline", false));
  EXPECT_EQ(value, u"next");
  // At the end of the list: no value, and the position stays at the end.
  EXPECT_FALSE(parser->FetchValue(value, u"inline", false));
  EXPECT_EQ(value, u"");
  EXPECT_EQ(Remaining(*parser), TStringList());
}

TEST(CommandLineParser, FetchedParameterStaysConsumedWhenItDoesNotFit) {
  auto parser = ParserOver({u"abc", u"maybe", u"loud", u"last"});
  std::int32_t number = 5;
  bool flag = true;
  std::int32_t index = 3;
  EXPECT_FALSE(parser->FetchValue(number, u"", false));
  EXPECT_FALSE(parser->FetchValue(flag, u"", false));
  EXPECT_FALSE(parser->FetchEnum(index, u"", false, {u"quiet"}));
  EXPECT_EQ(number, 5);
  EXPECT_TRUE(flag);
  EXPECT_EQ(index, 3);
  EXPECT_EQ(Remaining(*parser), TStringList{u"last"});
  EXPECT_FALSE(parser->FetchValue(number, u"", false));
  EXPECT_FALSE(parser->FetchValue(flag, u"", false));
  EXPECT_FALSE(parser->FetchEnum(index, u"", false, {u"quiet"}));
}

TEST(CommandLineParser, FetchIntegerAcceptsDecimalAndHexadecimal) {
  constexpr std::int32_t smallest = std::numeric_limits<std::int32_t>::min();
  const std::pair<String, std::optional<std::int32_t>> cases[] = {
      {u" 42", 42}, {u"   +7", 7}, {u"007", 7}, {u"0", 0}, {u"-0", 0},
      {u"2147483647", 2147483647}, {u"-2147483648", smallest},
      {u"$1F", 31}, {u"0x1f", 31}, {u"0X1F", 31}, {u"x1f", 31}, {u"X1F", 31}, {u" -$10", -16},
      {u"$FFFFFFFF", -1}, {u"$80000000", smallest}, {u"-$FFFFFFFF", 1}, {u"$7fffffff", 2147483647},
      {u"", std::nullopt}, {u"   ", std::nullopt}, {u"42 ", std::nullopt}, {u"\t42", std::nullopt},
      {u"4 2", std::nullopt}, {u"- 5", std::nullopt}, {u"--5", std::nullopt}, {u"+-5", std::nullopt},
      {u"-", std::nullopt}, {u"+", std::nullopt}, {u"$", std::nullopt}, {u"0x", std::nullopt},
      {u"2147483648", std::nullopt}, {u"-2147483649", std::nullopt},
      {u"99999999999999999999", std::nullopt}, {u"$100000000", std::nullopt}, {u"$000000001", std::nullopt},
      {u"0x1G", std::nullopt}, {u"1e3", std::nullopt}, {u"12abc", std::nullopt}, {u"\u0661", std::nullopt},
  };
  auto parser = ParserOver({});
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(text));
    std::int32_t value = 12345;
    EXPECT_EQ(parser->FetchValue(value, text, true), expected.has_value());
    EXPECT_EQ(value, expected.value_or(12345));
  }
}

TEST(CommandLineParser, FetchBooleanAcceptsWordsAndIntegers) {
  const std::pair<String, std::optional<bool>> cases[] = {
      {u"true", true}, {u"TRUE", true}, {u"On", true}, {u"yEs", true}, {u"2", true}, {u"-1", true},
      {u"$1", true}, {u"false", false}, {u"OFF", false}, {u"No", false}, {u"0", false}, {u" 0x0", false},
      {u"maybe", std::nullopt}, {u"", std::nullopt}, {u"t", std::nullopt}, {u"yes ", std::nullopt},
  };
  auto parser = ParserOver({});
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(text));
    // Start from the opposite, so that an untouched value shows.
    for (const bool before : {false, true}) {
      bool value = before;
      EXPECT_EQ(parser->FetchValue(value, text, true), expected.has_value());
      EXPECT_EQ(value, expected.value_or(before));
    }
  }
}

TEST(CommandLineParser, FetchEnumGivesTheFirstEntryEqualIgnoringCase) {
  const TStringList levels = {u"silent", u"quiet", u"normal", u"Quiet", u"d\u00E9bug"};
  const std::pair<String, std::optional<std::int32_t>> cases[] = {
      {u"QUIET", 1}, {u"silent", 0}, {u"D\u00C9BUG", 4}, {u"loud", std::nullopt}, {u"", std::nullopt},
  };
  auto parser = ParserOver({});
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(StringToUtf8Bytes(text));
    std::int32_t value = -7;
    EXPECT_EQ(parser->FetchEnum(value, text, true, levels), expected.has_value());
    EXPECT_EQ(value, expected.value_or(-7));
  }
  std::int32_t value = -7;
  EXPECT_FALSE(parser->FetchEnum(value, u"quiet", true, {}));
  EXPECT_EQ(value, -7);
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
