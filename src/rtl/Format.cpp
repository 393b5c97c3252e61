#include "rtl/Format.h"

#include "rtl/Exceptions.h"

namespace {

[[noreturn]] void ThrowInvalidFormat(const String& format) {
  throw EConvertError(u"Format '" + format + u"' invalid or incompatible with argument");
}

bool IsDigit(Char c) { return c >= u'0' && c <= u'9'; }

// A wider field or longer precision is malformed rather than allocated: no message needs one,
// and a wrong format must not exhaust memory.
constexpr int MaxFieldSize = 65535;

// Reads a run of decimal digits at Pos, at most MaxFieldSize; -1 when there is none.
int ReadNumber(const String& format, std::size_t& pos) {
  if (pos >= format.size() || !IsDigit(format[pos])) return -1;
  int value = 0;
  while (pos < format.size() && IsDigit(format[pos])) {
    value = value * 10 + (format[pos++] - u'0');
    if (value > MaxFieldSize) ThrowInvalidFormat(format);
  }
  return value;
}

String DecimalText(std::int64_t value, int minDigits) {
  // Through the unsigned magnitude, so the smallest value negates safely.
  std::uint64_t magnitude = value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
  String digits;
  do {
    digits.insert(digits.begin(), static_cast<Char>(u'0' + magnitude % 10));
    magnitude /= 10;
  } while (magnitude != 0);
  if (minDigits > 0 && digits.size() < static_cast<std::size_t>(minDigits))
    digits.insert(0, static_cast<std::size_t>(minDigits) - digits.size(), u'0');
  return value < 0 ? u"-" + digits : digits;
}

}  // namespace

String Format(const String& format, std::initializer_list<FormatArg> args) {
  String result;
  auto nextArg = args.begin();
  std::size_t pos = 0;
  while (pos < format.size()) {
    const Char c = format[pos++];
    if (c != u'%') {
      result += c;
      continue;
    }
    if (pos < format.size() && format[pos] == u'%') {
      result += u'%';
      ++pos;
      continue;
    }
    bool leftAlign = false;
    if (pos < format.size() && format[pos] == u'-') {
      leftAlign = true;
      ++pos;
    }
    const int width = ReadNumber(format, pos);
    int precision = -1;
    if (pos < format.size() && format[pos] == u'.') {
      ++pos;
      precision = ReadNumber(format, pos);
      if (precision < 0) precision = 0;
    }
    if (pos >= format.size() || nextArg == args.end()) ThrowInvalidFormat(format);
    const Char conversion = format[pos++];
    const FormatArg& arg = *nextArg++;

    String text;
    if (conversion == u's' || conversion == u'S') {
      const String* s = std::get_if<String>(&arg);
      if (s == nullptr) ThrowInvalidFormat(format);
      text = precision >= 0 ? s->substr(0, static_cast<std::size_t>(precision)) : *s;
    } else if (conversion == u'd' || conversion == u'D') {
      const std::int64_t* n = std::get_if<std::int64_t>(&arg);
      if (n == nullptr) ThrowInvalidFormat(format);
      text = DecimalText(*n, precision);
    } else {
      ThrowInvalidFormat(format);
    }

    if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
      const String padding(static_cast<std::size_t>(width) - text.size(), u' ');
      text = leftAlign ? text + padding : padding + text;
    }
    result += text;
  }
  return result;
}
