#pragma once
// Comparison of texts as a user reads them.

#include <string_view>

// True when both texts are equal, letter case ignored under the user's locale rules, so
// that "DÉBUG" and "débug" match.
bool SameText(std::u16string_view a, std::u16string_view b);
