#include "framework/hvCommandLine.h"

#include <algorithm>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string_view>

#include "rtl/Process.h"
#include "rtl/TextCompare.h"

namespace {

std::optional<std::uint32_t> HexDigitValue(Char c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return std::nullopt;
}

// The 32-bit pattern of one to eight hexadecimal digits.
std::optional<std::uint32_t> ParseHexPattern(std::u16string_view digits) {
  if (digits.empty() || digits.size() > 8) return std::nullopt;
  std::uint32_t pattern = 0;
  for (const Char c : digits) {
    const auto digit = HexDigitValue(c);
    if (!digit) return std::nullopt;
    pattern = (pattern << 4) | *digit;
  }
  return pattern;
}

// The magnitude of decimal digits, as long as it stays within Limit.
std::optional<std::uint32_t> ParseDecimal(std::u16string_view digits, std::uint32_t limit) {
  if (digits.empty()) return std::nullopt;
  std::uint32_t value = 0;
  for (const Char c : digits) {
    if (c < u'0' || c > u'9') return std::nullopt;
    const auto digit = static_cast<std::uint32_t>(c - u'0');
    if (value > (limit - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::optional<std::int32_t> ParseInteger(std::u16string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(u' '), text.size()));
  const bool negative = !text.empty() && text.front() == u'-';
  if (!text.empty() && (text.front() == u'-' || text.front() == u'+')) text.remove_prefix(1);

  std::optional<std::uint32_t> magnitude;
  if (text.starts_with(u"0x") || text.starts_with(u"0X")) {
    magnitude = ParseHexPattern(text.substr(2));
  } else if (text.starts_with(u'$') || text.starts_with(u'x') || text.starts_with(u'X')) {
    magnitude = ParseHexPattern(text.substr(1));
  } else {
    constexpr auto maximum = static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max());
    magnitude = ParseDecimal(text, negative ? maximum + 1 : maximum);
  }
  if (!magnitude) return std::nullopt;
  // Unsigned arithmetic wraps as the 32-bit pattern does: "-$FFFFFFFF" is 1.
  return static_cast<std::int32_t>(negative ? 0u - *magnitude : *magnitude);
}

}  // namespace

void TBaseCommandLineParser::DoFoundOption(const String& Name, const String& Value, bool HasValue) {
  if (FOnFoundOption) FOnFoundOption(*this, Name, Value, HasValue);
}

void TBaseCommandLineParser::DoFoundArgument(const String& Name, bool& AllowSuccessiveOptions) {
  if (FOnFoundArgument) FOnFoundArgument(*this, Name, AllowSuccessiveOptions);
}

void TBaseCommandLineParser::Reset() {
  FParamList.clear();
  LoadParams();
  FLastParamIndex = -1;
}

bool TBaseCommandLineParser::GetNext(String& Param) {
  Param.clear();
  if (static_cast<std::int64_t>(FParamList.size()) <= FLastParamIndex + std::int64_t{1}) return false;
  ++FLastParamIndex;
  Param = FParamList[static_cast<std::size_t>(FLastParamIndex)];
  return true;
}

void TBaseCommandLineParser::Process() {
  bool optionsAllowed = true;
  String param;
  while (GetNext(param)) {
    if (optionsAllowed && param == u"--") {
      optionsAllowed = false;
    } else if (optionsAllowed && param.starts_with(u'-')) {
      const std::size_t equals = FLongOptionsWithArguments ? param.find(u'=') : String::npos;
      if (equals == String::npos)
        DoFoundOption(param, String(), false);
      else
        DoFoundOption(param.substr(0, equals), param.substr(equals + 1), true);
    } else {
      optionsAllowed = false;
      DoFoundArgument(param, optionsAllowed);
    }
  }
}

bool TBaseCommandLineParser::FetchValue(String& Value, const String& InValue, bool InValueAvailable) {
  Value.clear();
  if (!InValueAvailable) return GetNext(Value);
  Value = InValue;
  return true;
}

bool TBaseCommandLineParser::FetchValue(std::int32_t& Value, const String& InValue, bool InValueAvailable) {
  String text;
  if (!FetchValue(text, InValue, InValueAvailable)) return false;
  const auto number = ParseInteger(text);
  if (!number) return false;
  Value = *number;
  return true;
}

bool TBaseCommandLineParser::FetchValue(bool& Value, const String& InValue, bool InValueAvailable) {
  String text;
  if (!FetchValue(text, InValue, InValueAvailable)) return false;
  const auto isOneOf = [&text](std::initializer_list<std::u16string_view> words) {
    return std::any_of(words.begin(), words.end(), [&text](std::u16string_view word) { return SameText(text, word); });
  };
  if (isOneOf({u"true", u"on", u"yes"})) {
    Value = true;
    return true;
  }
  if (isOneOf({u"false", u"off", u"no"})) {
    Value = false;
    return true;
  }
  const auto number = ParseInteger(text);
  if (!number) return false;
  Value = *number != 0;
  return true;
}

bool TBaseCommandLineParser::FetchEnum(std::int32_t& Value, const String& InValue, bool InValueAvailable,
                                       const TStringList& Values) {
  String text;
  if (!FetchValue(text, InValue, InValueAvailable)) return false;
  for (std::size_t i = 0; i < Values.size(); ++i) {
    if (SameText(text, Values[i])) {
      Value = static_cast<std::int32_t>(i);
      return true;
    }
  }
  return false;
}

void TCommandLineParser::LoadParams() { FParamList = ProcessParameters(); }
