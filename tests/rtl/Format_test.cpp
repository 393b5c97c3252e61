#include "rtl/Format.h"

#include <gtest/gtest.h>

#include "rtl/Utf8.h"
#include "support/Raises.h"

// Each format gets the same two arguments; a malformed or mismatched placeholder is refused.
TEST(Format, FillsPlaceholdersInOrderOrRefusesThem) {
  const String bad = u"!";
  const struct { String format; FormatArg a, b; String result; } rows[] = {
      {u"ERROR %s: %s", String(u"EAbort"), String(u"m"), u"ERROR EAbort: m"},
      {u"100%% of %d", std::int64_t{-7}, std::int64_t{0}, u"100% of -7"},
      {u"%-41.41s|", String(u"ab"), String(), u"ab" + String(39, u' ') + u"|"},
      {u"[%5s|%-3.3s]", String(u"ab"), String(u"cdef"), u"[   ab|cde]"},
      {u"%d", INT64_MIN, String(), u"-9223372036854775808"},
      {u"%65535s", String(u"x"), String(), String(65534, u' ') + u"x"},
      {u"%.65535d", std::int64_t{0}, String(), String(65535, u'0')},
      {u"%d", String(), String(), bad}, {u"%s", std::int64_t{1}, String(), bad}, {u"%s %s %s", String(), String(), bad},
      {u"%65536s", String(), String(), bad}, {u"%-99999999999999999999s", String(), String(), bad},
      {u"%1.65536s", String(), String(), bad}, {u"%.65536d", std::int64_t{0}, String(), bad},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(StringToUtf8Bytes(row.format));
    String result;
    const String raised = Raised([&] { result = Format(row.format, {row.a, row.b}); });
    const String refused = u"EConvertError: Format '" + row.format + u"' invalid or incompatible with argument";
    EXPECT_EQ(raised.empty() ? result : raised, row.result != bad ? row.result : refused);
  }
}
