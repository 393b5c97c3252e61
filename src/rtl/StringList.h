#pragma once
// An ordered, unsorted list of strings that keeps duplicates.

#include <vector>

#include "rtl/String.h"

using TStringList = std::vector<String>;
