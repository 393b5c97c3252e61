#pragma once
// printf-style formatting of UTF-16 text.

#include <cstdint>
#include <initializer_list>
#include <variant>

#include "rtl/String.h"

using FormatArg = std::variant<String, std::int64_t>;

// Replaces each placeholder of Format by the next argument and returns the result.
// A placeholder is "%" [ "-" ] [ width ] [ "." precision ] ( "s" | "d" ), or "%%" for a
// percent sign. "-" aligns left in the width; for "%s" the precision cuts the text, for "%d"
// it is the least number of digits; neither may exceed 65535. Raises EConvertError when a
// placeholder is malformed, an argument is missing, or its kind does not fit the conversion.
String Format(const String& format, std::initializer_list<FormatArg> args);
