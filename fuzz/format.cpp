// Formats a fuzzed format string with fuzzed arguments. The only failure allowed is
// EConvertError; a text without placeholders comes out as it is, and so does any text whose
// percent signs are all doubled.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"
#include "rtl/Utf8.h"

namespace {

FormatArg TakeArgument(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return input.ConsumeIntegral<std::int64_t>();
  return Utf8BytesToString(input.ConsumeRandomLengthString(64));
}

String DoublePercentSigns(const String& text) {
  String doubled;
  for (const Char c : text) {
    doubled += c;
    if (c == u'%') doubled += c;
  }
  return doubled;
}

}  // namespace

// Three arguments, each a number or a text, then the format string as UTF-8.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const FormatArg first = TakeArgument(input), second = TakeArgument(input), third = TakeArgument(input);
  const String format = Utf8BytesToString(input.ConsumeRemainingBytesAsString());

  try {
    const String result = Format(format, {first, second, third});
    if (format.find(u'%') == String::npos) Check(result == format, "a text without placeholders stays as it is");
  } catch (const EConvertError& error) {
    Check(error.Message().starts_with(u"Format '" + format + u"'"), "the error names the format");
  }
  Check(Format(DoublePercentSigns(format), {}) == format, "doubled percent signs give the text back");
  return 0;
}
