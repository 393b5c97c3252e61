// Splits fuzzed command-line text and runs the parser's grammar over the parameters, with an
// option handler that fetches integers. The split keeps every character of content; Process
// reports each parameter in turn unless a fetch took it or it is a "--" that ends the options;
// a fetched integer reads back from its decimal form, and a failed fetch leaves it alone.

#include "FuzzCheck.h"
#include "framework/hvCommandLine.h"
#include "rtl/Format.h"
#include "rtl/Process.h"

class TListParser : public TBaseCommandLineParser {
public:
  TListParser(ConstructionKey, TStringList params) : Params(std::move(params)) {}
  std::int32_t Index() const { return FLastParamIndex; }
  const TStringList Params;

protected:
  void LoadParams() override { FParamList = Params; }
};

// The first byte sets how many parameters are read before Process (bits 0-1) and whether
// options take values after "=" (bit 2 clear); the rest is the command-line text, as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const String text = Utf8BytesToString({reinterpret_cast<const char*>(data + 1), size - 1});
  TStringList params = SplitCommandLine(text);
  String content, joined;  // blanks, control characters and quotes only separate and group
  for (const Char c : text.substr(0, text.find(u'\0'))) content += c > 32 && c != u'"' ? String(1, c) : String();
  for (const String& param : params) {
    Check(!param.empty() && param.find(u'"') == String::npos, "no parameter is empty or holds quotes");
    for (const Char c : param) joined += c > 32 ? String(1, c) : String();
  }
  Check(joined == content, "the split keeps all content up to a NUL, in order");
  if (!params.empty()) params.erase(params.begin());  // the program name

  auto parser = TBaseCommandLineParser::Create<TListParser>(params);
  parser->SetLongOptionsWithArguments((data[0] & 4) == 0);
  for (unsigned skip = data[0] & 3u; skip > 0 && parser->GetNext(content); --skip) {
  }
  std::int32_t last = parser->Index();
  const auto reported = [&]() -> const String& {
    const std::int32_t at = parser->Index();
    Check(at == last + 1 || (at == last + 2 && params[static_cast<std::size_t>(last + 1)] == u"--"), "each in turn");
    return params[static_cast<std::size_t>(last = at)];
  };
  parser->SetOnFoundArgument([&](TBaseCommandLineParser&, const String& name, bool& allowOptions) {
    Check(name == reported() && !allowOptions, "an argument is its parameter, and options come in disallowed");
    allowOptions = name.size() % 2 == 0;
  });
  parser->SetOnFoundOption([&](TBaseCommandLineParser&, const String& name, const String& value, bool hasValue) {
    const String& option = reported();
    Check(name.starts_with(u'-') && option != u"--" && (hasValue ? name + u"=" + value : name) == option &&
              hasValue == (parser->LongOptionsWithArguments() && option.find(u'=') != String::npos) &&
              (hasValue ? name.find(u'=') == String::npos : value.empty()),
          "an option is its parameter, split at the first = exactly when options take values");
    const bool hasNext = static_cast<std::size_t>(last + 1) < params.size(), wantsNext = !hasValue && hasNext;
    const String text = hasValue ? value : hasNext ? params[static_cast<std::size_t>(last + 1)] : String();
    std::int32_t number = -12345, again = 0;
    bool truth = false;
    if (name.size() % 2 == 0 && parser->FetchValue(number, value, hasValue))
      Check(parser->FetchValue(again, Format(u"%d", {std::int64_t{number}}), true) && again == number &&
                parser->FetchValue(truth, text, true) && truth == (number != 0),
            "an integer reads back from its decimal form, and is a truth value");
    else Check(number == -12345, "a failed fetch leaves the value");
    Check(parser->Index() - last == (name.size() % 2 == 0 && wantsNext ? 1 : 0), "a fetch takes what it needs");
    last = parser->Index();
  });
  parser->Process();
  content = u"unchanged";
  Check(!parser->GetNext(content) && content.empty(), "Process walks to the end; GetNext there gives nothing");
  return 0;
}
