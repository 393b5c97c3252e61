#include "rtl/Process.h"

namespace {

bool IsSeparator(Char c) { return c >= 1 && c <= 32; }

}  // namespace

TStringList SplitCommandLine(std::u16string_view commandLine) {
  commandLine = commandLine.substr(0, commandLine.find(u'\0'));
  TStringList parameters;
  std::size_t pos = 0;
  const auto at = [&](std::size_t i) { return i < commandLine.size() ? commandLine[i] : u'\0'; };
  for (;;) {
    for (;;) {
      while (IsSeparator(at(pos))) ++pos;
      if (at(pos) != u'"' || at(pos + 1) != u'"') break;
      pos += 2;
    }
    String parameter;
    while (at(pos) > 32) {
      if (at(pos) != u'"') {
        parameter += commandLine[pos++];
        continue;
      }
      const std::size_t closing = commandLine.find(u'"', pos + 1);
      const std::size_t end = closing == std::u16string_view::npos ? commandLine.size() : closing;
      parameter += commandLine.substr(pos + 1, end - pos - 1);
      pos = closing == std::u16string_view::npos ? end : closing + 1;
    }
    if (parameter.empty()) return parameters;
    parameters.push_back(std::move(parameter));
  }
}
