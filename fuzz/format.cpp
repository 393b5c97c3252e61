// Formats a fuzzed format with a fuzzed number and text: the only failure is EConvertError
// naming the format, and with every percent sign doubled the text comes out as it is.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const FormatArg number = input.ConsumeIntegral<std::int64_t>();
  const FormatArg text = Utf8BytesToString(input.ConsumeRandomLengthString(64));
  const String format = Utf8BytesToString(input.ConsumeRemainingBytesAsString());
  String doubled;
  for (const Char c : format) doubled += c == u'%' ? u"%%" : String(1, c);
  try {
    Format(format, {number, text, number});
  } catch (const EConvertError& error) {
    Check(error.Message().starts_with(u"Format '" + format + u"'"), "the error names the format");
  }
  Check(Format(doubled, {}) == format, "doubled percent signs give the text back");
  return 0;
}
