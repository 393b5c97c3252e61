#include "rtl/Process.h"

#include <unistd.h>

#include <string>

#include "rtl/Utf8.h"

namespace {

TStringList& StoredParameters() {
  static TStringList parameters;
  return parameters;
}

}  // namespace

void SetProcessArguments(int argc, const char* const argv[]) {
  TStringList& parameters = StoredParameters();
  parameters.clear();
  for (int i = 1; i < argc; ++i) {
    // An empty argument is dropped, as the split of a command-line text drops it.
    if (argv[i][0] != '\0') parameters.push_back(Utf8BytesToString(argv[i]));
  }
}

TStringList ProcessParameters() { return StoredParameters(); }

String ExecutablePath() {
  std::string target(256, '\0');
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", target.data(), target.size());
    if (length < 0) return {};
    // A link that fills the buffer may have been cut off; try again with more room.
    if (static_cast<std::size_t>(length) < target.size()) {
      target.resize(static_cast<std::size_t>(length));
      return Utf8BytesToString(target);
    }
    target.resize(target.size() * 2);
  }
}
