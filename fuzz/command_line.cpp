// Splits fuzzed command-line text into parameters and runs the parser's grammar over them,
// with option handlers that fetch values in the typed forms. The split keeps every character
// of content; Process reports each parameter in turn, once, unless a fetch took it or it is a
// "--" that ends the options; a fetch delivers what it reads or leaves its target alone.

#include <algorithm>

#include "FuzzCheck.h"
#include "framework/hvCommandLine.h"
#include "rtl/Format.h"
#include "rtl/Process.h"
#include "rtl/TextCompare.h"

namespace {

class TListParser : public TBaseCommandLineParser {
public:
  TListParser(ConstructionKey, TStringList params) : Params(std::move(params)) {}
  std::int32_t Index() const { return FLastParamIndex; }
  const TStringList Params;

protected:
  void LoadParams() override { FParamList = Params; }
};

// Blanks, control characters and double quotes only separate and group; the rest is content.
String Content(std::u16string_view text) {
  String content;
  std::ranges::copy_if(text.substr(0, text.find(u'\0')), std::back_inserter(content),
                       [](Char c) { return c > 32 && c != u'"'; });
  return content;
}

const TStringList Levels = {u"silent", u"quiet", u"normal", u"detailed", u"debug"};

// Fetches an integer or, for names of even length, a level, and checks what the fetch did.
void Fetch(TListParser& parser, const String& name, const String& value, bool hasValue) {
  const auto next = static_cast<std::size_t>(parser.Index() + 1);
  const bool hasNext = next < parser.Params.size();
  const String text = hasValue ? value : hasNext ? parser.Params[next] : String();
  std::int32_t number = -12345, again = 0;
  if (name.size() % 2 == 0) {
    const bool fetched = parser.FetchEnum(number, value, hasValue, Levels);
    const auto match = std::ranges::find_if(Levels, [&](const String& level) { return SameText(text, level); });
    Check(fetched == (match != Levels.end()) && number == (fetched ? match - Levels.begin() : -12345),
          "an enumeration fetch finds the first equal name, or leaves the value");
  } else if (parser.FetchValue(number, value, hasValue)) {
    bool truth = number == 0;
    Check(parser.FetchValue(again, Format(u"%d", {std::int64_t{number}}), true) && again == number &&
              parser.FetchValue(truth, text, true) && truth == (number != 0),
          "an integer reads back from its decimal form, and is a truth value");
  } else {
    Check(number == -12345, "a failed fetch leaves the value");
  }
  Check((parser.Index() + 1 != static_cast<std::int32_t>(next)) == (!hasValue && hasNext),
        "a fetch takes the next parameter exactly when it needs one");
}

}  // namespace

// The first byte sets how many parameters are read before Process (bits 0-1) and whether
// options take values after "=" (bit 2 clear); the rest is the command-line text, as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const String commandLine = Utf8BytesToString({reinterpret_cast<const char*>(data + 1), size - 1});
  TStringList params = SplitCommandLine(commandLine);
  String joined;
  for (const String& param : params) {
    Check(!param.empty() && param.find(u'"') == String::npos, "a parameter is neither empty nor holds quotes");
    joined += param;
  }
  Check(Content(joined) == Content(commandLine), "the split keeps all content up to a NUL, in order");
  if (!params.empty()) params.erase(params.begin());  // the program name

  auto parser = TBaseCommandLineParser::Create<TListParser>(params);
  parser->SetLongOptionsWithArguments((data[0] & 4) == 0);
  String param;
  for (unsigned skip = data[0] & 3u; skip > 0 && parser->GetNext(param); --skip) {
  }
  std::int32_t last = parser->Index();
  const auto reported = [&]() -> const String& {
    const std::int32_t index = parser->Index();
    Check(index == last + 1 || (index == last + 2 && params[static_cast<std::size_t>(last + 1)] == u"--"),
          "every parameter is reported in turn, or is a -- that ends the options");
    return params[static_cast<std::size_t>(last = index)];
  };
  parser->SetOnFoundArgument([&](TBaseCommandLineParser&, const String& name, bool& allowSuccessiveOptions) {
    Check(name == reported() && !allowSuccessiveOptions, "an argument is its parameter; options come in disallowed");
    allowSuccessiveOptions = name.size() % 2 == 0;
  });
  parser->SetOnFoundOption([&](TBaseCommandLineParser&, const String& name, const String& value, bool hasValue) {
    const String& option = reported();
    Check(name.starts_with(u'-') && option != u"--", "an option begins with - and is not --");
    Check(hasValue == (parser->LongOptionsWithArguments() && option.find(u'=') != String::npos) &&
              (hasValue ? name.find(u'=') == String::npos : value.empty()) &&
              (hasValue ? name + u"=" + value : name) == option,
          "an option is its parameter, split at the first = exactly when options take values");
    Fetch(*parser, name, value, hasValue);
    last = parser->Index();
  });
  parser->Process();
  param = u"unchanged";
  Check(!parser->GetNext(param) && param.empty(), "Process walks to the end; GetNext there gives false and nothing");
  return 0;
}
