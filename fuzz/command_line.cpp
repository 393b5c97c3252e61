// Splits fuzzed command-line text and parses the parameters: the split keeps every character
// of content, a fetched integer reads back from its decimal form, and Process walks to the end.
#include "FuzzCheck.h"
#include "rtl/Format.h"
#include "rtl/Process.h"
#include "support/ListParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const String text = Utf8BytesToString({reinterpret_cast<const char*>(data), size});
  const TStringList params = SplitCommandLine(text);
  String content, joined;  // blanks, control characters and quotes only separate and group
  for (const Char c : text.substr(0, text.find(u'\0'))) content += c > 32 && c != u'"' ? String(1, c) : String();
  for (const String& param : params)
    for (const Char c : param) joined += c > 32 ? String(1, c) : String();
  Check(joined == content, "the split keeps all content up to a NUL, in order");
  auto parser = TBaseCommandLineParser::Create<TListParser>(params);
  parser->SetLongOptionsWithArguments(size % 2 == 0);
  parser->SetOnFoundOption([&](TBaseCommandLineParser&, const String&, const String& value, bool hasValue) {
    std::int32_t number = -12345, again = 0;
    if (parser->FetchValue(number, value, hasValue))
      Check(parser->FetchValue(again, Format(u"%d", {std::int64_t{number}}), true) && again == number,
            "an integer reads back from its decimal form");
    else Check(number == -12345, "a failed fetch leaves the value");
  });
  parser->Process();
  content = u"unchanged";
  Check(!parser->GetNext(content) && content.empty(), "Process walks to the end");
  return 0;
}
