// Splits fuzzed command-line text into parameters and runs the parser's grammar over them,
// with option handlers that fetch values in every typed form. Checks that the split keeps
// every character of content, that each parameter is reported once or taken by a fetch, and
// that the position only moves forward.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "framework/hvCommandLine.h"
#include "rtl/Format.h"
#include "rtl/Process.h"
#include "rtl/TextCompare.h"
#include "rtl/Utf8.h"

namespace {

// A parser over a fixed list of parameters that lets the target watch its position.
class TListParser : public TBaseCommandLineParser {
public:
  TListParser(ConstructionKey, TStringList params) : fParams(std::move(params)) {}

  std::int32_t LastParamIndex() const { return FLastParamIndex; }
  const TStringList& Params() const { return FParamList; }

protected:
  void LoadParams() override { FParamList = fParams; }

private:
  TStringList fParams;
};

// Blanks, control characters and double quotes only separate and group; the rest is content.
String Content(std::u16string_view text) {
  String content;
  for (const Char c : text)
    if (c > 32 && c != u'"') content += c;
  return content;
}

void CheckSplit(std::u16string_view commandLine, const TStringList& parameters) {
  String joined;
  for (const String& parameter : parameters) {
    Check(!parameter.empty(), "no parameter is empty");
    Check(parameter.find(u'"') == String::npos, "double quotes are never part of a parameter");
    joined += parameter;
  }
  Check(Content(joined) == Content(commandLine.substr(0, commandLine.find(u'\0'))),
        "the split keeps all content up to a NUL, in order");
}

const TStringList Levels = {u"silent", u"quiet", u"normal", u"detailed", u"debug"};

// Watches one Process run: how often each parameter was reported or fetched.
class TProcessWatch {
public:
  explicit TProcessWatch(TListParser& parser)
      : fParser(parser), fSeen(parser.Params().size(), 0), fLastReported(parser.LastParamIndex()) {
    parser.SetOnFoundOption([this](TBaseCommandLineParser&, const String& name, const String& value, bool hasValue) {
      FoundOption(name, value, hasValue);
    });
    parser.SetOnFoundArgument([this](TBaseCommandLineParser&, const String& name, bool& allowSuccessiveOptions) {
      FoundArgument(name, allowSuccessiveOptions);
    });
  }

  // After Process: every parameter from First on was seen once, except a "--" that
  // switched options off.
  void CheckAllSeen(std::size_t first) const {
    Check(fParser.LastParamIndex() + std::int64_t{1} == static_cast<std::int64_t>(fSeen.size()),
          "Process walks to the end");
    for (std::size_t i = first; i < fSeen.size(); ++i)
      Check(fSeen[i] == 1 || (fSeen[i] == 0 && fParser.Params()[i] == u"--"),
            "each parameter is reported or fetched exactly once");
  }

private:
  // The parameter an event reports, which must lie beyond everything reported before.
  std::size_t ReportedIndex() {
    const std::int32_t index = fParser.LastParamIndex();
    Check(index > fLastReported, "events come at a position beyond the last one");
    fLastReported = index;
    ++fSeen[static_cast<std::size_t>(index)];
    return static_cast<std::size_t>(index);
  }

  void FoundArgument(const String& name, bool& allowSuccessiveOptions) {
    Check(name == fParser.Params()[ReportedIndex()], "an argument is its parameter");
    Check(!allowSuccessiveOptions, "AllowSuccessiveOptions comes in false");
    allowSuccessiveOptions = name.size() % 2 == 0;
  }

  void FoundOption(const String& name, const String& value, bool hasValue) {
    const String& parameter = fParser.Params()[ReportedIndex()];
    Check(name.starts_with(u'-') && parameter != u"--", "an option begins with - and is not --");
    Check(hasValue == (fParser.LongOptionsWithArguments() && parameter.find(u'=') != String::npos),
          "an option is split exactly when it holds = and long options take arguments");
    Check(hasValue ? name.find(u'=') == String::npos : value.empty(), "the split is at the first =");
    Check((hasValue ? name + u"=" + value : name) == parameter, "an option is its parameter");
    FetchFor(name, value, hasValue);
  }

  // Fetches in the form that the option's name picks, and checks what the fetch did.
  void FetchFor(const String& name, const String& value, bool hasValue) {
    const std::int32_t before = fParser.LastParamIndex();
    // The text a fetch sees: the option's own value, or the next parameter if any.
    const auto next = static_cast<std::size_t>(before + 1);
    const bool hasNext = next < fParser.Params().size();
    const String text = hasValue ? value : hasNext ? fParser.Params()[next] : String();
    const bool textAvailable = hasValue || hasNext;

    bool fetched = false;
    switch (name.size() % 5) {
      case 0: return;
      case 1: {
        String fetchedText = u"unchanged";
        fetched = fParser.FetchValue(fetchedText, value, hasValue);
        Check(fetched == textAvailable && fetchedText == text, "a string fetch delivers the text");
        break;
      }
      case 2: fetched = FetchInteger(text, value, hasValue); break;
      case 3: fetched = FetchBoolean(value, hasValue); break;
      case 4: fetched = FetchLevel(text, value, hasValue); break;
    }
    Check(!fetched || textAvailable, "a fetch without text fails");

    const std::int32_t taken = fParser.LastParamIndex() - before;
    Check(taken == (hasValue || !hasNext ? 0 : 1), "a fetch takes the next parameter exactly when it needs one");
    if (taken == 1) ++fSeen[static_cast<std::size_t>(fParser.LastParamIndex())];
  }

  bool FetchInteger(const String& text, const String& value, bool hasValue) {
    std::int32_t number = Unchanged;
    const bool fetched = fParser.FetchValue(number, value, hasValue);
    Check(fetched || number == Unchanged, "a failed integer fetch leaves the value");
    if (!fetched) return false;
    // The number reads back from its decimal form, and as a truth value from the same text.
    std::int32_t again = Unchanged;
    Check(fParser.FetchValue(again, Format(u"%d", {std::int64_t{number}}), true) && again == number,
          "an integer reads back from its decimal form");
    bool truth = number == 0;
    Check(fParser.FetchValue(truth, text, true) && truth == (number != 0), "an integer is a truth value");
    return true;
  }

  bool FetchBoolean(const String& value, bool hasValue) {
    const bool initial = fParser.LastParamIndex() % 2 == 0;
    bool truth = initial;
    const bool fetched = fParser.FetchValue(truth, value, hasValue);
    Check(fetched || truth == initial, "a failed truth fetch leaves the value");
    return fetched;
  }

  bool FetchLevel(const String& text, const String& value, bool hasValue) {
    std::int32_t level = Unchanged;
    const bool fetched = fParser.FetchEnum(level, value, hasValue, Levels);
    const auto match = std::find_if(Levels.begin(), Levels.end(), [&text](const String& name) { return SameText(text, name); });
    const std::int32_t expected = match == Levels.end() ? Unchanged : static_cast<std::int32_t>(match - Levels.begin());
    Check(level == expected && fetched == (expected != Unchanged), "an enumeration fetch finds the first equal name");
    return fetched;
  }

  static constexpr std::int32_t Unchanged = -12345;

  TListParser& fParser;
  std::vector<int> fSeen;
  std::int32_t fLastReported;
};

}  // namespace

// The first byte sets how many parameters are read before Process and whether options take
// values after "="; the rest is the command-line text, as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::uint8_t settings = data[0];
  const String commandLine = Utf8BytesToString({reinterpret_cast<const char*>(data + 1), size - 1});

  TStringList parameters = SplitCommandLine(commandLine);
  CheckSplit(commandLine, parameters);
  if (!parameters.empty()) parameters.erase(parameters.begin());  // the program name

  auto parser = TBaseCommandLineParser::Create<TListParser>(parameters);
  parser->SetLongOptionsWithArguments((settings & 4) == 0);
  std::size_t skipped = 0;
  String param;
  while (skipped < (settings & 3u) && parser->GetNext(param)) ++skipped;

  TProcessWatch watch(*parser);
  parser->Process();
  watch.CheckAllSeen(skipped);

  param = u"unchanged";
  Check(!parser->GetNext(param) && param.empty(), "GetNext at the end gives false and an empty text");
  return 0;
}
