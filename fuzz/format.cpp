// Formats a fuzzed format string with three fuzzed arguments. The only failure allowed is
// EConvertError naming the format; a text without placeholders comes out as it is, and so
// does any text whose percent signs are all doubled.

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzCheck.h"
#include "rtl/Exceptions.h"
#include "rtl/Format.h"

namespace {

FormatArg TakeArgument(FuzzedDataProvider& input) {
  if (input.ConsumeBool()) return input.ConsumeIntegral<std::int64_t>();
  return Utf8BytesToString(input.ConsumeRandomLengthString(64));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  const FormatArg first = TakeArgument(input), second = TakeArgument(input), third = TakeArgument(input);
  const String format = Utf8BytesToString(input.ConsumeRemainingBytesAsString());
  try {
    const String result = Format(format, {first, second, third});
    Check(format.find(u'%') != String::npos || result == format, "a text without placeholders stays as it is");
  } catch (const EConvertError& error) {
    Check(error.Message().starts_with(u"Format '" + format + u"'"), "the error names the format");
  }
  String doubled;
  for (const Char c : format) doubled += c == u'%' ? u"%%" : String(1, c);
  Check(Format(doubled, {}) == format, "doubled percent signs give the text back");
  return 0;
}
