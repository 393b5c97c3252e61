#include "rtl/TextCompare.h"

#include <locale.h>
#include <wctype.h>

namespace {

// The case rules of Unicode, fixed rather than taken from the environment's locale, which
// this program does not read. Null when the system lacks them.
locale_t UnicodeCaseRules() {
  static const locale_t rules = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
  return rules;
}

// The code point at Pos, a surrogate pair taken as one; Pos moves past it.
char32_t NextCodePoint(std::u16string_view text, std::size_t& pos) {
  const char32_t unit = text[pos++];
  if (unit >= 0xD800 && unit <= 0xDBFF && pos < text.size() && text[pos] >= 0xDC00 && text[pos] <= 0xDFFF)
    return 0x10000 + ((unit - 0xD800) << 10) + (text[pos++] - 0xDC00u);
  return unit;
}

// One case for every letter: lower case of the upper case, so that forms such as the
// final sigma meet their plain letter.
char32_t FoldCase(char32_t c) {
  if (const locale_t rules = UnicodeCaseRules()) {
    const auto wide = static_cast<wint_t>(c);
    return static_cast<char32_t>(towlower_l(towupper_l(wide, rules), rules));
  }
  return c >= U'A' && c <= U'Z' ? c + (U'a' - U'A') : c;
}

}  // namespace

bool SameText(std::u16string_view a, std::u16string_view b) {
  std::size_t posA = 0;
  std::size_t posB = 0;
  while (posA < a.size() && posB < b.size()) {
    if (FoldCase(NextCodePoint(a, posA)) != FoldCase(NextCodePoint(b, posB))) return false;
  }
  return posA == a.size() && posB == b.size();
}
