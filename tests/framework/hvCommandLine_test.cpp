#include "framework/hvCommandLine.h"

#include <gtest/gtest.h>

#include "rtl/Process.h"
#include "rtl/Utf8.h"
#include "support/ListParser.h"

namespace {

// A fetch of the next parameter: i integer, b truth value, l level index; "!" fails untouched.
std::string Fetch(TBaseCommandLineParser& parser, char kind) {
  std::int32_t number = -7;
  bool truth = false;
  const TStringList levels = {u"silent", u"quiet", u"Quiet", u"d\u00E9bug", u"\u043F\u0440\u0438 \u03C3x\U0001F600", u"\xD800" u"ab\xDC80"};
  const bool fetched = kind == 'i'   ? parser.FetchValue(number, String(), false)
                       : kind == 'l' ? parser.FetchEnum(number, String(), false, levels)
                                     : parser.FetchValue(truth, String(), false) && (number = truth, true);
  return fetched ? std::to_string(number) : number != -7 || truth ? "changed" : "!";
}

// Process's events as <option|value> and [argument]; -i, -b, -l add their fetch; "+x" allows options.
std::string Events(const TStringList& params, bool longOptionsWithArguments = true) {
  auto parser = TBaseCommandLineParser::Create<TListParser>(params);
  if (!longOptionsWithArguments) parser->SetLongOptionsWithArguments(false);
  std::string log;
  parser->SetOnFoundOption([&](TBaseCommandLineParser& sender, const String& name, const String& value, bool has) {
    std::int32_t number = -7;
    log += "<" + StringToUtf8Bytes(has ? name + u"|" + value : name);
    if (has && name == u"-i") log += sender.FetchValue(number, value, true) ? " " + std::to_string(number) : " !";
    if (!has && name.size() == 2 && std::string("ibl").find(static_cast<char>(name[1])) != std::string::npos)
      log += " " + Fetch(sender, static_cast<char>(name[1]));
    log += ">";
  });
  parser->SetOnFoundArgument([&](TBaseCommandLineParser&, const String& name, bool& allowOptions) {
    log += (allowOptions ? "[?" : "[") + StringToUtf8Bytes(name) + "]";
    allowOptions = name.starts_with(u'+');
  });
  parser->Process();
  String rest = u"stale";
  return parser->GetNext(rest) || !rest.empty() ? log + " (not at the end)" : log;
}

TEST(CommandLineParser, ProcessReportsOptionsUntilTheFirstArgumentOrDoubleDash) {
  const struct { TStringList params; std::string events; bool longOptionsWithArguments = true; } rows[] = {
      {{u"-a", u"--b=1", u"--", u"-c", u"d", u"-e"}, "<-a><--b|1>[-c][d][-e]"}, {{u"x", u"-y"}, "[x][-y]"},
      {{u"+x", u"-y", u"z", u"-w"}, "[+x]<-y>[z][-w]"}, {{u"-", u"--", u"--"}, "<->[--]"}, {{u"", u"-a"}, "[][-a]"},
      {{u"--n=a=b", u"-x="}, "<--n|a=b><-x|>"}, {{u"-a=b"}, "<-a=b>", false}, {{}, ""},
      {{u"-i", u"7", u"-i=$10", u"-i", u"abc", u"+d", u"-i"}, "<-i 7><-i|$10 16><-i !>[+d]<-i !>"}, {{u"-b"}, "<-b !>"}, {{u"-l"}, "<-l !>"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.events);
    EXPECT_EQ(Events(row.params, row.longOptionsWithArguments), row.events);
  }
}

TEST(CommandLineParser, FetchesConvertIntegersTruthValuesAndLevels) {
  const struct { char kind; String text; std::string value; } rows[] = {
      {'i', u" +7", "7"}, {'i', u"-2147483648", "-2147483648"}, {'i', u"$1F", "31"}, {'i', u"0xaf", "175"},
      {'i', u"XA0F", "2575"}, {'i', u" -$10", "-16"}, {'i', u"$FFFFFFFF", "-1"}, {'i', u"", "!"}, {'i', u"42 ", "!"},
      {'i', u"\t42", "!"}, {'i', u"+-5", "!"}, {'i', u"$", "!"}, {'i', u"2147483648", "!"}, {'i', u"-2147483649", "!"},
      {'i', u"$100000000", "!"}, {'i', u"$000000001", "!"}, {'i', u"0x1G", "!"}, {'i', u"\u0661", "!"},
      {'b', u"TRUE", "1"}, {'b', u"On", "1"}, {'b', u"yEs", "1"}, {'b', u"$1", "1"}, {'b', u"OFF", "0"}, {'b', u"False", "0"},
      {'b', u"No", "0"}, {'b', u" 0x0", "0"}, {'b', u"yes ", "!"},
      {'l', u"QUIET", "1"}, {'l', u"D\u00C9BUG", "3"}, {'l', u"loud", "!"}, {'l', u"debug", "!"}, {'l', u"d\u00E9bu", "!"},
      {'l', u"\u041F\u0420\u0418 \u03A3X\U0001F600", "4"}, {'l', u"\xD800" u"AB\xDC80", "5"},  // case beyond ASCII; surrogates paired, or alone
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.kind + (" " + StringToUtf8Bytes(row.text)));
    auto parser = TBaseCommandLineParser::Create<TListParser>(TStringList{row.text});
    EXPECT_EQ(Fetch(*parser, row.kind), row.value);
  }
}

}  // namespace
