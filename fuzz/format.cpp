// Formats a fuzzed format string with fuzzed arguments: the only failure is EConvertError
// naming the format, and with every percent sign doubled the text comes out as it is.
#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  FormatArg args[2];
  for (FormatArg& arg : args)
    arg = input.ConsumeBool() ? FormatArg(input.ConsumeIntegral<std::int64_t>())
                              : FormatArg(Utf8BytesToString(input.ConsumeRandomLengthString(64)));
  const String format = Utf8BytesToString(input.ConsumeRemainingBytesAsString());
  String doubled;
  for (const Char c : format) doubled += c == u'%' ? u"%%" : String(1, c);
  try {
    Format(format, {args[0], args[1]});
  } catch (const EConvertError& error) {
    Check(error.Message().starts_with(u"Format '" + format + u"'"), "the error names the format");
  }
  Check(Format(doubled, {}) == format, "doubled percent signs give the text back");
  return 0;
}
